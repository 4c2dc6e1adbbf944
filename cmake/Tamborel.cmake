# Shared build helpers for Tamborel Studio.

# Warnings for our own code; third-party headers come in as SYSTEM includes.
function(tb_warnings target)
    target_compile_options(${target} PRIVATE
        -Wall -Wextra -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual)
    # The clang fuzz build reports clang's own warnings without failing on them.
    if(NOT TAMBOREL_FUZZ)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()

# tb_library(NAME SOURCES... [DEPS ...]): one static library per source folder.
function(tb_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
    tb_warnings(${name})
endfunction()

# tb_headers(NAME HEADERS... [DEPS ...]): header-only pieces of a folder that another folder
# builds against without linking the folder's library; the dependency is then written down.
function(tb_headers name)
    cmake_parse_arguments(ARG "" "" "HEADERS;DEPS" ${ARGN})
    add_library(${name} INTERFACE)
    target_sources(${name} INTERFACE
        FILE_SET HEADERS BASE_DIRS ${PROJECT_SOURCE_DIR} FILES ${ARG_HEADERS})
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
endfunction()

# tb_embed_resources(TARGET TABLE ENTRIES type number file ...): compiles the files into the
# target as C++ arrays and a resource table named TABLE, looked up by type and number.
function(tb_embed_resources target table)
    cmake_parse_arguments(ARG "" "" "ENTRIES" ${ARGN})
    set(out ${CMAKE_CURRENT_BINARY_DIR}/${table}.cpp)
    set(deps)
    set(args)
    list(LENGTH ARG_ENTRIES n)
    math(EXPR last "${n} - 1")
    foreach(i RANGE 0 ${last} 3)
        math(EXPR j "${i} + 1")
        math(EXPR k "${i} + 2")
        list(GET ARG_ENTRIES ${i} type)
        list(GET ARG_ENTRIES ${j} number)
        list(GET ARG_ENTRIES ${k} file)
        get_filename_component(file ${file} ABSOLUTE)
        list(APPEND deps ${file})
        list(APPEND args "${type}|${number}|${file}")
    endforeach()
    string(REPLACE ";" "," joined "${args}")
    add_custom_command(OUTPUT ${out}
        COMMAND ${CMAKE_COMMAND} -DTABLE=${table} -DOUT=${out} "-DENTRIES=${joined}"
                -P ${PROJECT_SOURCE_DIR}/cmake/EmbedResources.cmake
        DEPENDS ${deps} ${PROJECT_SOURCE_DIR}/cmake/EmbedResources.cmake
        COMMENT "Embedding resources into ${table}"
        VERBATIM)
    target_sources(${target} PRIVATE ${out})
endfunction()
