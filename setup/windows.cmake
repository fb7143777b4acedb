# The Windows build of DurvoSetup.exe (included from setup/CMakeLists.txt under a mingw-w64
# toolchain file), the package it carries, and the test that runs it under Wine.
#
# The package is written by durvo-package, a tool of the Linux build, around the Durvo.dll of
# this build (standing in for the ARM, MIPS and SH3 libraries, as the Linux library does there).
# The Linux build is the one whose durvo-today the Windows build was given, else ./build.
set(linux_build ${PROJECT_SOURCE_DIR}/build)
if(DURVO_TODAY)
  get_filename_component(linux_build ${DURVO_TODAY} DIRECTORY)
  get_filename_component(linux_build ${linux_build} DIRECTORY)
endif()
set(DURVO_PACKAGE_TOOL ${linux_build}/setup/package/durvo-package CACHE FILEPATH
    "durvo-package of a Linux build, which writes the install package")
if(NOT EXISTS ${DURVO_PACKAGE_TOOL})
  message(WARNING "durvo-package not found at ${DURVO_PACKAGE_TOOL}: DurvoSetup.exe is left out; "
                  "build the Linux build first (make build) or set DURVO_PACKAGE_TOOL")
  return()
endif()

set(SETUP_PACKAGE_DIR ${CMAKE_BINARY_DIR}/package)
set(SETUP_PACKAGE_FILES)
foreach(name Durvo.ini License.txt ReadMe.txt Durvo.arm.CAB Durvo.mips.CAB Durvo.sh3.CAB)
  list(APPEND SETUP_PACKAGE_FILES ${SETUP_PACKAGE_DIR}/${name})
endforeach()
add_custom_command(
  OUTPUT ${SETUP_PACKAGE_FILES}
  COMMAND ${DURVO_PACKAGE_TOOL} --arm $<TARGET_FILE:Durvo> --mips $<TARGET_FILE:Durvo>
          --sh3 $<TARGET_FILE:Durvo> ${SETUP_PACKAGE_DIR}
  DEPENDS Durvo ${DURVO_PACKAGE_TOOL}
  COMMENT "durvo-package ${SETUP_PACKAGE_DIR}"
  VERBATIM)
add_custom_target(setup_package_files DEPENDS ${SETUP_PACKAGE_FILES})

set(SETUP_WIN32_FLAGS -Wall -Wextra -Werror -Wno-unused-parameter)
# An 8-bit program: its calls are the ...A ones whatever the headers default to.
add_executable(DurvoSetup WIN32 setup_flow.cpp setup_main.cpp setup.rc)
target_include_directories(DurvoSetup PRIVATE ${CMAKE_CURRENT_SOURCE_DIR} ${SETUP_PACKAGE_DIR})
target_compile_options(DurvoSetup PRIVATE ${SETUP_WIN32_FLAGS})
target_link_libraries(DurvoSetup PRIVATE ole32)
target_link_options(DurvoSetup PRIVATE -static -static-libgcc -static-libstdc++)
set_target_properties(DurvoSetup PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
file(GLOB SETUP_ICONS CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/icons/*.ico)
set_property(SOURCE setup.rc APPEND PROPERTY OBJECT_DEPENDS
             ${CMAKE_CURRENT_SOURCE_DIR}/resource.h ${SETUP_ICONS} ${SETUP_PACKAGE_FILES})
add_dependencies(DurvoSetup setup_package_files)

# The application manager stand-in of the Wine test: it writes down its command line.
add_executable(ceappmgr-standin WIN32 ${PROJECT_SOURCE_DIR}/tests/setup/wine/ceappmgr_standin.cpp)
target_compile_options(ceappmgr-standin PRIVATE ${SETUP_WIN32_FLAGS})
target_link_options(ceappmgr-standin PRIVATE -static -static-libgcc)
set_target_properties(ceappmgr-standin PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

# The real program under Wine with Xvfb: install, then cancel (pictures in wine-setup/).
find_program(WINE_PROGRAM wine)
find_program(XVFB_PROGRAM Xvfb)
find_program(XDOTOOL_PROGRAM xdotool)
find_program(IMPORT_PROGRAM import)
# Both widths: the 32-bit setup runs in a 32-bit prefix.
if(WINE_PROGRAM AND XVFB_PROGRAM AND XDOTOOL_PROGRAM AND IMPORT_PROGRAM)
  add_test(NAME WineSetup.InstallThenCancel
           COMMAND ${PROJECT_SOURCE_DIR}/tests/setup/wine/setup-under-wine
                   $<TARGET_FILE:DurvoSetup> $<TARGET_FILE:ceappmgr-standin> ${SETUP_PACKAGE_DIR}
                   ${CMAKE_BINARY_DIR}/wine-setup)
  set_tests_properties(WineSetup.InstallThenCancel PROPERTIES TIMEOUT 400 RUN_SERIAL TRUE)
endif()
