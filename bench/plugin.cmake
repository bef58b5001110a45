# The plugin's run() per 256-frame block against the block's duration (and an
# instance with no song, the least a run costs), and the worker's render.
find_package(PkgConfig QUIET)
if(PkgConfig_FOUND)
    pkg_check_modules(LILV IMPORTED_TARGET lilv-0)
endif()
if(TARGET sorvelin_lv2 AND LILV_FOUND)
    add_executable(plugin_run plugin_run.cpp)
    target_link_libraries(plugin_run PRIVATE sorvelin_flags sorvelin_plugin_model PkgConfig::LILV)
    target_include_directories(plugin_run PRIVATE ${CMAKE_SOURCE_DIR}/tests)
    get_filename_component(lv2_dir ${SORVELIN_LV2_BUNDLE} DIRECTORY)
    target_compile_definitions(plugin_run PRIVATE SORVELIN_LV2_DIR="${lv2_dir}"
                               SORVELIN_TEST_DATA="${CMAKE_SOURCE_DIR}/tests/data/render")
    add_dependencies(plugin_run sorvelin_lv2)
endif()
