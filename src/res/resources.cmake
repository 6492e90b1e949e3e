# The resource object (twres), linked into the uninstaller and the tests.
# The pictures are generated from make_images.py and the manifest is copied
# into the build tree, where the resource script finds them on its include
# path.
find_program(TW_PYTHON3 python3 REQUIRED)

set(TW_RES_DIR ${CMAKE_CURRENT_LIST_DIR})
set(TW_RES_GEN_DIR ${CMAKE_BINARY_DIR}/res)
set(TW_RES_IMAGES
    ${TW_RES_GEN_DIR}/current.bmp
    ${TW_RES_GEN_DIR}/done.bmp
    ${TW_RES_GEN_DIR}/pending.bmp
    ${TW_RES_GEN_DIR}/twuninst.ico)

add_custom_command(
    OUTPUT ${TW_RES_IMAGES}
    COMMAND ${TW_PYTHON3} ${TW_RES_DIR}/make_images.py ${TW_RES_GEN_DIR}
    DEPENDS ${TW_RES_DIR}/make_images.py
    COMMENT "Generating the uninstaller's bitmaps and icon"
    VERBATIM)

# The product is 32-bit and asks for the X86 common controls. The 64-bit test
# build asks for the amd64 ones instead: given an X86 dependency, a 64-bit
# process gets the old controls (seen under Wine), unlike the product.
file(READ ${TW_RES_DIR}/twuninst.manifest TW_MANIFEST)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  string(REPLACE "processorArchitecture=\"X86\"" "processorArchitecture=\"amd64\""
         TW_MANIFEST "${TW_MANIFEST}")
endif()
file(CONFIGURE OUTPUT ${TW_RES_GEN_DIR}/app.manifest CONTENT "${TW_MANIFEST}" @ONLY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${TW_RES_DIR}/twuninst.manifest)

add_library(twres OBJECT ${TW_RES_DIR}/app.rc ${TW_RES_IMAGES})
target_include_directories(twres PRIVATE ${TW_RES_DIR} ${TW_RES_DIR}/.. ${TW_RES_GEN_DIR})
# The script's dependency scan sees neither the pictures nor the manifest.
set_source_files_properties(${TW_RES_DIR}/app.rc PROPERTIES OBJECT_DEPENDS
    "${TW_RES_IMAGES};${TW_RES_DIR}/en.rc;${TW_RES_DIR}/ja.rc;${TW_RES_DIR}/resource.h;${TW_RES_GEN_DIR}/app.manifest")
