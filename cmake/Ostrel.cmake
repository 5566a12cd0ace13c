# ostrel_sources(<target> <folder>...): add every .cpp of the folders to a target.
function(ostrel_sources target)
  foreach(dir ${ARGN})
    file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cpp)
    target_sources(${target} PRIVATE ${srcs})
  endforeach()
endfunction()

# ostrel_folder_sources(<out> <folder>... [EXCLUDE <file>...]): every .cpp of the folders.
function(ostrel_folder_sources out)
  cmake_parse_arguments(A "" "" "EXCLUDE" ${ARGN})
  set(all)
  foreach(dir ${A_UNPARSED_ARGUMENTS})
    file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cpp)
    list(APPEND all ${srcs})
  endforeach()
  foreach(ex ${A_EXCLUDE})
    list(REMOVE_ITEM all ${CMAKE_SOURCE_DIR}/${ex})
  endforeach()
  set(${out} ${all} PARENT_SCOPE)
endfunction()

# ostrel_library(<name> FOLDERS <dir>... [EXCLUDE <file>...] [DEPS <lib>...])
function(ostrel_library name)
  cmake_parse_arguments(A "" "" "FOLDERS;EXCLUDE;DEPS" ${ARGN})
  ostrel_folder_sources(all ${A_FOLDERS} EXCLUDE ${A_EXCLUDE})
  add_library(${name} STATIC ${all})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
  if(A_DEPS)
    target_link_libraries(${name} PUBLIC ${A_DEPS})
  endif()
endfunction()

# Test sources keep the names of their own helpers apart, so that they can
# be compiled in batches; a source that reads both client and server headers
# (which name some constants alike) is kept out of the batches.
option(OSTREL_UNITY_TESTS "Compile each test program's sources in batches of eight" ON)

# ostrel_test_program(<target>): a GoogleTest program's compilation.
function(ostrel_test_program name)
  target_link_libraries(${name} PRIVATE GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests)
  # The code under test is built optimised; the tests themselves are mostly
  # assertion macros, which take twice as long to compile optimised (and four
  # times under the sanitizers) for no gain in what they check.
  # Line tables are enough to place a failure or a sanitizer report in a test.
  target_compile_options(${name} PRIVATE -O0 -g1)
  # Most of a test source's compile time goes to reading the GoogleTest
  # headers: a batch of sources read them once.
  if(OSTREL_UNITY_TESTS)
    set_target_properties(${name} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 8)
    # g++ takes a batched source for a header, and warns of every test whose
    # fixture lies in the source's anonymous namespace.
    target_compile_options(${name} PRIVATE $<$<CXX_COMPILER_ID:GNU>:-Wno-subobject-linkage>)
  endif()
endfunction()

# ostrel_test(<name> [LIBS <lib>...] [ENV <VAR=value>...] [LABELS <label>...] [FILTER <gtest filter>]):
# one GoogleTest binary from every .cpp in the calling folder.
function(ostrel_test name)
  cmake_parse_arguments(A "" "FILTER" "LIBS;ENV;LABELS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_executable(${name} ${srcs})
  target_link_libraries(${name} PRIVATE ${A_LIBS} GTest::gmock)
  ostrel_test_program(${name})
  set(env SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy
          OSTREL_SOURCE_DIR=${CMAKE_SOURCE_DIR} OSTREL_BINARY_DIR=${CMAKE_BINARY_DIR} ${A_ENV})
  # Every test runs under `env` with these variables: gtest_discover_tests
  # cannot pass a list-valued ENVIRONMENT property (only its first entry arrived).
  set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR "env;${env}")
  # FILTER: a gtest filter for the tests listed (those left out run as tests of their own).
  set(filter)
  if(A_FILTER)
    set(filter TEST_FILTER ${A_FILTER})
  endif()
  gtest_discover_tests(${name}
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    PROPERTIES LABELS "${A_LABELS}"
    DISCOVERY_TIMEOUT 60 ${filter})
endfunction()

# ostrel_fuzzer(<name> <source> LIBS <lib>...): a libFuzzer target; in a
# build without the fuzzer, a program that replays the target's committed
# corpus (tests/fixtures/fuzz/<name>) once, as a test.
function(ostrel_fuzzer name source)
  cmake_parse_arguments(A "" "" "LIBS" ${ARGN})
  if(OSTREL_FUZZ)
    add_executable(${name} ${source})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  else()
    if(NOT TARGET ostrel_fuzz_replay)
      add_library(ostrel_fuzz_replay OBJECT ${CMAKE_SOURCE_DIR}/fuzz/replay_main.cpp)
    endif()
    add_executable(${name} ${source})
    target_link_libraries(${name} PRIVATE ostrel_fuzz_replay)
    add_test(NAME ${name}_corpus COMMAND ${name} ${CMAKE_SOURCE_DIR}/tests/fixtures/fuzz/${name})
    set_tests_properties(${name}_corpus PROPERTIES
      ENVIRONMENT "SDL_VIDEODRIVER=dummy;SDL_AUDIODRIVER=dummy;OSTREL_NO_MESSAGE_BOX=1" LABELS fuzz_corpus)
  endif()
  target_link_libraries(${name} PRIVATE ${A_LIBS})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
endfunction()

# ostrel_add_subfolders(): add every subfolder of the calling folder that has
# a CMakeLists.txt (tests/, bench/, fuzz/ and tools/ grow this way).
function(ostrel_add_subfolders)
  file(GLOB children RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  foreach(child ${children})
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()

# ostrel_reaches_renderer(<out> <file>): TRUE where <file>, itself or through
# the project's headers it includes, includes a header that only a renderer's
# include folder holds (the two programs' "renderer/*.h"). Such a file
# compiles differently for each program; any other compiles the same for
# both, so it is compiled once. Every file read is a dependency of the
# configuration: an edit that changes what a file includes sorts it again.
function(ostrel_reaches_renderer out file)
  get_property(known GLOBAL PROPERTY ostrel_reaches_${file} SET)
  if(known)
    get_property(result GLOBAL PROPERTY ostrel_reaches_${file})
    set(${out} ${result} PARENT_SCOPE)
    return()
  endif()
  # A header reached again while it is read counts as reaching none.
  set_property(GLOBAL PROPERTY ostrel_reaches_${file} FALSE)
  set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${file})
  set(renderer_folders ${CMAKE_SOURCE_DIR}/render/include ${CMAKE_SOURCE_DIR}/gl/include)
  file(STRINGS ${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  get_filename_component(dir ${file} DIRECTORY)
  set(result FALSE)
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*" "\\1" name "${line}")
    # The compiler's order: beside the file, then the source root, then the renderer's folder.
    set(found "")
    foreach(base ${dir} ${CMAKE_SOURCE_DIR})
      if(NOT found AND EXISTS ${base}/${name})
        set(found ${base}/${name})
      endif()
    endforeach()
    if(found)
      get_filename_component(found ${found} ABSOLUTE)
    endif()
    foreach(base ${renderer_folders})
      if(found)
        cmake_path(IS_PREFIX base ${found} inside)
      else()
        set(inside FALSE)
        if(EXISTS ${base}/${name})
          set(inside TRUE)
        endif()
      endif()
      if(inside)
        set(result TRUE)
      endif()
    endforeach()
    if(found AND NOT result)
      ostrel_reaches_renderer(inner ${found})
      if(inner)
        set(result TRUE)
      endif()
    endif()
    if(result)
      break()
    endif()
  endforeach()
  set_property(GLOBAL PROPERTY ostrel_reaches_${file} ${result})
  set(${out} ${result} PARENT_SCOPE)
endfunction()

# ostrel_shared_objects(<name> <own> SOURCES <file>... DEPS <lib>...): the
# sources that reach no renderer header, compiled once into the object
# library <name> (made by the first call; DEPS give its include folders);
# <own> is set to the rest, which each program's library compiles itself.
function(ostrel_shared_objects name own)
  cmake_parse_arguments(A "" "" "SOURCES;DEPS" ${ARGN})
  set(shared)
  set(rest)
  foreach(src ${A_SOURCES})
    ostrel_reaches_renderer(reaches ${src})
    if(reaches)
      list(APPEND rest ${src})
    else()
      list(APPEND shared ${src})
    endif()
  endforeach()
  if(shared AND NOT TARGET ${name})
    add_library(${name} OBJECT ${shared})
    target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${A_DEPS})
  endif()
  set(${own} ${rest} PARENT_SCOPE)
endfunction()

# ostrel_program_library(<name> SHARED <object library> SHARED_DEPS <lib>...
#                        SOURCES <file>... DEPS <lib>...):
# one program's copy of a library that both programs link: its own
# compilation of the sources that reach a renderer header, and the objects
# of the rest, compiled once for both. SHARED_DEPS are the libraries of DEPS
# that are the same for both programs: the shared objects see no renderer.
function(ostrel_program_library name)
  cmake_parse_arguments(A "" "SHARED" "SHARED_DEPS;SOURCES;DEPS" ${ARGN})
  ostrel_shared_objects(${A_SHARED} own SOURCES ${A_SOURCES} DEPS ${A_SHARED_DEPS})
  add_library(${name} STATIC ${own})
  if(TARGET ${A_SHARED})
    target_sources(${name} PRIVATE $<TARGET_OBJECTS:${A_SHARED}>)
  endif()
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${A_DEPS})
endfunction()

# ostrel_renderer(<name> FOLDERS <dir>... INCLUDE <dir> [DEPS <lib>...]): one
# program's renderer: its own folders and world/view, the logic both programs
# share, compiled against that program's renderer headers (INCLUDE holds
# renderer/*.h). Each program links exactly one of these.
function(ostrel_renderer name)
  cmake_parse_arguments(A "" "INCLUDE" "FOLDERS;DEPS" ${ARGN})
  ostrel_folder_sources(view world/view)
  ostrel_shared_objects(ostrel_view_shared view_own SOURCES ${view} DEPS ostrel_world ostrel_sys)
  ostrel_library(${name} FOLDERS ${A_FOLDERS} DEPS ${A_DEPS})
  target_sources(${name} PRIVATE ${view_own})
  if(TARGET ostrel_view_shared)
    target_sources(${name} PRIVATE $<TARGET_OBJECTS:ostrel_view_shared>)
  endif()
  target_include_directories(${name} PUBLIC ${A_INCLUDE})
endfunction()

# ostrel_client_library(<name> <renderer>): the client compiled against one
# program's renderer; the renderer objects of client_video_*.cpp stand beside it.
function(ostrel_client_library name renderer)
  ostrel_folder_sources(srcs client
                        EXCLUDE client/client_video_soft.cpp client/client_video_gl.cpp client/client_video_none.cpp)
  set(shared_deps ostrel_net ostrel_world ostrel_sound ostrel_sys)
  ostrel_program_library(${name} SHARED ostrel_client_shared SHARED_DEPS ${shared_deps} SOURCES ${srcs}
                         DEPS ${renderer} ${shared_deps})
endfunction()

# ostrel_engine_library(<name> <client>): the engine object over one program's client.
function(ostrel_engine_library name client)
  ostrel_program_library(${name} SHARED ostrel_engine_shared
                         SHARED_DEPS ostrel_server ostrel_world ostrel_sound ostrel_net ostrel_sys
                         SOURCES ${CMAKE_SOURCE_DIR}/engine/engine.cpp ${CMAKE_SOURCE_DIR}/engine/entry.cpp
                         DEPS ostrel_server ${client} ostrel_net ostrel_sys)
endfunction()

# ostrel_program_pair(<name> SOURCES <file>... [SOFT <lib>... GL <lib>...]
#                     [DEPENDS <target>...]): one source set built once over
# each program, <name>_soft and <name>_gl (the latter with OSTREL_PROGRAM_GL
# defined), each linking only its own program's libraries: the engine and the
# client's renderer object unless SOFT and GL name others.
function(ostrel_program_pair name)
  cmake_parse_arguments(A "" "" "SOURCES;SOFT;GL;DEPENDS" ${ARGN})
  if(NOT A_SOFT)
    set(A_SOFT ostrel_engine ostrel_client_soft)
  endif()
  if(NOT A_GL)
    set(A_GL ostrel_engine_gl ostrel_client_gl)
  endif()
  foreach(program SOFT GL)
    string(TOLOWER ${program} suffix)
    add_executable(${name}_${suffix} ${A_SOURCES})
    target_link_libraries(${name}_${suffix} PRIVATE ${A_${program}})
    target_include_directories(${name}_${suffix} PRIVATE ${CMAKE_SOURCE_DIR})
    if(A_DEPENDS)
      add_dependencies(${name}_${suffix} ${A_DEPENDS})
    endif()
  endforeach()
  target_compile_definitions(${name}_gl PRIVATE OSTREL_PROGRAM_GL)
endfunction()

# ostrel_libraries_on_demand(<folder>): the libraries of the folder and those
# below leave "all"; each is still built for every program that links it.
function(ostrel_libraries_on_demand dir)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target ${targets})
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "STATIC_LIBRARY" OR type STREQUAL "OBJECT_LIBRARY")
      set_target_properties(${target} PROPERTIES EXCLUDE_FROM_ALL TRUE)
    endif()
  endforeach()
  get_property(folders DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(folder ${folders})
    ostrel_libraries_on_demand(${folder})
  endforeach()
endfunction()
