# The resource object (twres), linked into the uninstaller and the tests.
# The pictures are generated from make_images.py into the build tree, so
# the resource script finds them on its include path.
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

add_library(twres OBJECT ${TW_RES_DIR}/app.rc ${TW_RES_IMAGES})
target_include_directories(twres PRIVATE ${TW_RES_DIR} ${TW_RES_DIR}/.. ${TW_RES_GEN_DIR})
# The script's dependency scan sees neither the pictures nor the manifest.
set_source_files_properties(${TW_RES_DIR}/app.rc PROPERTIES OBJECT_DEPENDS
    "${TW_RES_IMAGES};${TW_RES_DIR}/en.rc;${TW_RES_DIR}/ja.rc;${TW_RES_DIR}/resource.h;${TW_RES_DIR}/twuninst.manifest")
