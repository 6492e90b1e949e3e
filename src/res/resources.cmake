# The resource object (twres), linked into the uninstaller and the tests.
add_library(twres OBJECT ${CMAKE_CURRENT_LIST_DIR}/app.rc)
target_include_directories(twres PRIVATE ${CMAKE_CURRENT_LIST_DIR} ${CMAKE_CURRENT_LIST_DIR}/..)
