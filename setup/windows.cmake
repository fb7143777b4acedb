# The Windows build of DurvoSetup.exe (included from setup/CMakeLists.txt under a mingw-w64
# toolchain file), the package it carries, and the test that runs it under Wine.
#
# It carries the shipped package, which the Linux build writes around the Windows CE ARM
# Durvo.dll (the Windows build of the plug-in serves the Today host and the tests under Wine and
# never goes into a cabinet). The Linux build is the one whose durvo-today the Windows build was
# given, else ./build.
set(linux_build ${PROJECT_SOURCE_DIR}/build)
if(DURVO_TODAY)
  get_filename_component(linux_build ${DURVO_TODAY} DIRECTORY)
  get_filename_component(linux_build ${linux_build} DIRECTORY)
endif()
set(SETUP_PACKAGE_DIR ${linux_build}/package CACHE PATH "the install package DurvoSetup.exe carries")
if(NOT EXISTS ${SETUP_PACKAGE_DIR}/Durvo.ini)
  message(WARNING "no package in ${SETUP_PACKAGE_DIR}: DurvoSetup.exe is left out; "
                  "build the Linux build first (make build) or set SETUP_PACKAGE_DIR")
  return()
endif()
set(SETUP_PACKAGE_NAMES Durvo.ini License.txt ReadMe.txt)
foreach(name Durvo.arm.CAB Durvo.mips.CAB Durvo.sh3.CAB)
  if(EXISTS ${SETUP_PACKAGE_DIR}/${name})
    list(APPEND SETUP_PACKAGE_NAMES ${name})
  endif()
endforeach()
set(SETUP_PACKAGE_FILES)
foreach(name ${SETUP_PACKAGE_NAMES})
  list(APPEND SETUP_PACKAGE_FILES ${SETUP_PACKAGE_DIR}/${name})
endforeach()
include(${PROJECT_SOURCE_DIR}/cmake/package_resources.cmake)
durvo_package_resources(OUT ${CMAKE_CURRENT_BINARY_DIR}/package_resources.rc NAMES ${SETUP_PACKAGE_NAMES})

set(SETUP_WIN32_FLAGS -Wall -Wextra -Werror -Wno-unused-parameter)
# An 8-bit program: its calls are the ...A ones whatever the headers default to.
add_executable(DurvoSetup WIN32 setup_flow.cpp setup_main.cpp setup.rc)
target_include_directories(DurvoSetup PRIVATE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_BINARY_DIR}
                                              ${SETUP_PACKAGE_DIR})
target_compile_options(DurvoSetup PRIVATE ${SETUP_WIN32_FLAGS})
target_link_libraries(DurvoSetup PRIVATE ole32)
target_link_options(DurvoSetup PRIVATE -static -static-libgcc -static-libstdc++)
set_target_properties(DurvoSetup PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
file(GLOB SETUP_ICONS CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/icons/*.ico)
set_property(SOURCE setup.rc APPEND PROPERTY OBJECT_DEPENDS
             ${CMAKE_CURRENT_SOURCE_DIR}/resource.h ${SETUP_ICONS} ${SETUP_PACKAGE_FILES}
             ${CMAKE_CURRENT_BINARY_DIR}/package_resources.rc)

# The application manager stand-in of the Wine test: it writes down its command line.
add_executable(ceappmgr-standin WIN32 ${PROJECT_SOURCE_DIR}/tests/setup/wine/ceappmgr_standin.cpp)
target_compile_options(ceappmgr-standin PRIVATE ${SETUP_WIN32_FLAGS})
target_link_options(ceappmgr-standin PRIVATE -static -static-libgcc)
set_target_properties(ceappmgr-standin PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

# No Wine needed: the program carries exactly the shipped cabinets, each with a device library.
add_test(NAME ShippedPackage.DurvoSetupCarriesOnlyDeviceLibraries
         COMMAND ${PROJECT_SOURCE_DIR}/tests/setup/wine/shipped-cabinets $<TARGET_FILE:DurvoSetup> ${SETUP_PACKAGE_DIR})

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
  # The table of install folders, each run on the emulated desktop and by the real program; the
  # 64-bit build runs it (both widths build the same flow). The table lands in install-folders/.
  if(CMAKE_SIZEOF_VOID_P EQUAL 8 AND EXISTS ${linux_build}/host/durvo-today)
    add_test(NAME WineSetup.InstallFoldersAsOnTheEmulatedDesktop
             COMMAND ${PROJECT_SOURCE_DIR}/tests/setup/wine/install-folders
                     ${linux_build}/host/durvo-today $<TARGET_FILE:DurvoSetup> $<TARGET_FILE:ceappmgr-standin>
                     ${SETUP_PACKAGE_DIR} ${linux_build}/package-dev ${CMAKE_BINARY_DIR}/install-folders)
    set_tests_properties(WineSetup.InstallFoldersAsOnTheEmulatedDesktop PROPERTIES TIMEOUT 600 RUN_SERIAL TRUE)
  endif()
endif()
