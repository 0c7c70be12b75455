# The live view (`ruzirazu view`): an HTTP server over one effect thread, and
# its page, compiled in from web/ so that nothing is read at run time.
pkg_check_modules(HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
find_package(nlohmann_json 3.10 REQUIRED)

set(VIEW_ASSETS_DIR ${CMAKE_CURRENT_BINARY_DIR}/view)
set(VIEW_ASSET_SOURCES)
foreach(asset "index.html;ViewIndexHtml" "view.js;ViewScript" "view.css;ViewStyle")
    list(GET asset 0 file)
    list(GET asset 1 symbol)
    set(output ${VIEW_ASSETS_DIR}/${symbol}.cpp)
    add_custom_command(
        OUTPUT ${output}
        COMMAND ${CMAKE_COMMAND}
            -DINPUT=${CMAKE_CURRENT_SOURCE_DIR}/view/web/${file}
            -DOUTPUT=${output}
            -DSYMBOL=${symbol}
            -DHEADER=cli/view/WebAssets.h
            -P ${PROJECT_SOURCE_DIR}/effect/EmbedFile.cmake
        DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/view/web/${file}
            ${PROJECT_SOURCE_DIR}/effect/EmbedFile.cmake
        COMMENT "Embedding the live view's ${file}"
        VERBATIM)
    list(APPEND VIEW_ASSET_SOURCES ${output})
endforeach()

# The server, the effect thread and the command: part of the command's
# library, so that the tests drive the server in-process.
target_sources(cli_core PRIVATE
    ${CMAKE_CURRENT_SOURCE_DIR}/view/EffectThread.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/view/ViewServer.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/view/View.cpp
    ${VIEW_ASSET_SOURCES})
target_include_directories(cli_core PRIVATE ${CMAKE_CURRENT_BINARY_DIR})
target_link_libraries(cli_core PUBLIC PkgConfig::HTTPLIB fmt::fmt)
