# The Windows CE ARM build of a device library: clang compiles each source to ARM assembly with
# the CE calling sequence, ce-asm-filter turns clang's ELF assembly into PE/COFF assembly, and
# GNU binutils for arm-mingw32ce (scripts/ce-toolchain builds them once into a cache folder)
# assemble, compile the resources and link. One custom command a source, with clang's
# dependency file, so a change rebuilds only what it touches.

execute_process(COMMAND ${PROJECT_SOURCE_DIR}/scripts/ce-toolchain
                OUTPUT_VARIABLE CE_TOOLCHAIN_BIN OUTPUT_STRIP_TRAILING_WHITESPACE
                RESULT_VARIABLE ce_toolchain_status)
if(NOT ce_toolchain_status EQUAL 0)
  message(FATAL_ERROR "scripts/ce-toolchain could not provide the arm-mingw32ce binutils")
endif()
set(CE_PREFIX ${CE_TOOLCHAIN_BIN}/arm-mingw32ce-)
find_program(CE_CLANG NAMES clang++-14 clang++ REQUIRED)
# The resource compiler needs a C preprocessor that knows the Windows headers' resource names.
find_program(CE_RC_PREPROCESSOR NAMES x86_64-w64-mingw32-gcc REQUIRED)

set(CE_ARM_DIR ${PROJECT_SOURCE_DIR}/platform/ce_arm)

# ARMv4 in ARM mode (it runs on StrongARM and XScale alike; ARMv4T's bx faults on a StrongARM),
# APCS with 4-byte stack alignment and soft float, 16-bit wchar_t, int-sized enums, and nothing
# that needs a C++ runtime: no exceptions, RTTI, unwind tables, guards or stack protector.
set(CE_ARM_CXX_FLAGS
  -target armv4-none-eabi -mabi=apcs-gnu -marm -mfloat-abi=soft
  -fshort-wchar -fno-short-enums -fno-exceptions -fno-rtti -fno-unwind-tables
  -fno-asynchronous-unwind-tables -ffreestanding -fno-common -fno-threadsafe-statics
  -fno-stack-protector -std=c++20 -Os
  -D_WIN32_WCE=0x420 -DUNDER_CE -DARM -D_ARM_
  -Wall -Wextra -Werror -Wno-unused-parameter
  -isystem ${CE_ARM_DIR}/include -I${PROJECT_SOURCE_DIR}/platform/include
  -I${PROJECT_SOURCE_DIR}/platform/ce)

# One ARM object from a C++ or assembly source; its path lands in ${out_var}.
function(durvo_ce_arm_object source object_dir out_var)
  get_filename_component(stem ${source} NAME_WE)
  get_filename_component(ext ${source} EXT)
  set(object ${object_dir}/${stem}.o)
  if(ext STREQUAL ".s")
    add_custom_command(
      OUTPUT ${object}
      COMMAND ${CE_PREFIX}as -march=armv4 -o ${object} ${source}
      DEPENDS ${source}
      COMMENT "arm-mingw32ce-as ${stem}${ext}"
      VERBATIM)
  else()
    add_custom_command(
      OUTPUT ${object}
      COMMAND ${CE_CLANG} ${CE_ARM_CXX_FLAGS} ${ARGN} -MD -MF ${object_dir}/${stem}.d -MT ${object}
              -S ${source} -o ${object_dir}/${stem}.elf.s
      COMMAND ce-asm-filter ${object_dir}/${stem}.elf.s ${object_dir}/${stem}.coff.s
      COMMAND ${CE_PREFIX}as -march=armv4 -o ${object} ${object_dir}/${stem}.coff.s
      DEPENDS ${source} ce-asm-filter
      DEPFILE ${object_dir}/${stem}.d
      COMMENT "ARM ${stem}${ext}"
      VERBATIM)
  endif()
  set(${out_var} ${object} PARENT_SCOPE)
endfunction()

# The CE runtime every device library links: COREDLL's and AYGSHELL's import libraries and the
# helpers COREDLL does not offer.
set(CE_ARM_RUNTIME_DIR ${CMAKE_BINARY_DIR}/ce-arm/runtime)
file(MAKE_DIRECTORY ${CE_ARM_RUNTIME_DIR})
set(CE_ARM_RUNTIME)
foreach(source ce_runtime.cpp ce_division64.s)
  durvo_ce_arm_object(${CE_ARM_DIR}/${source} ${CE_ARM_RUNTIME_DIR} object)
  list(APPEND CE_ARM_RUNTIME ${object})
endforeach()
foreach(library coredll aygshell)
  set(implib ${CE_ARM_RUNTIME_DIR}/lib${library}.a)
  add_custom_command(
    OUTPUT ${implib}
    COMMAND ${CE_PREFIX}dlltool -S ${CE_PREFIX}as -d ${CE_ARM_DIR}/${library}.def -l ${implib}
    DEPENDS ${CE_ARM_DIR}/${library}.def
    COMMENT "arm-mingw32ce-dlltool ${library}.def"
    VERBATIM)
  list(APPEND CE_ARM_RUNTIME ${implib})
endforeach()
add_custom_target(ce_arm_runtime DEPENDS ${CE_ARM_RUNTIME})

# durvo_ce_arm_library(TARGET name OUTPUT dll DEF def IMAGE_BASE base
#                      {SOURCES ... [INCLUDES ...] RC rc [RC_DEPENDS ...] | OBJECTS_FROM ...})
# Compiles and links the library (the target builds it with ALL) and sets ${TARGET}_OBJECTS, so
# another call can relink the same objects at another image base.
function(durvo_ce_arm_library)
  cmake_parse_arguments(CE "" "OUTPUT;DEF;RC;IMAGE_BASE;TARGET" "SOURCES;INCLUDES;RC_DEPENDS;OBJECTS_FROM" ${ARGN})
  get_filename_component(out_dir ${CE_OUTPUT} DIRECTORY)
  get_filename_component(out_name ${CE_OUTPUT} NAME_WE)
  set(object_dir ${out_dir}/${out_name}.objects)
  file(MAKE_DIRECTORY ${object_dir})
  set(include_flags)
  foreach(dir ${CE_INCLUDES})
    list(APPEND include_flags -I${dir})
  endforeach()

  set(objects)
  if(CE_OBJECTS_FROM)
    # Relinks the objects of another library (the same code at another image base).
    set(objects ${CE_OBJECTS_FROM})
  else()
    foreach(source ${CE_SOURCES})
      durvo_ce_arm_object(${source} ${object_dir} object ${include_flags})
      list(APPEND objects ${object})
    endforeach()
    get_filename_component(rc_dir ${CE_RC} DIRECTORY)
    set(res_object ${object_dir}/${out_name}.res.o)
    add_custom_command(
      OUTPUT ${res_object}
      COMMAND ${CE_PREFIX}windres --preprocessor=${CE_RC_PREPROCESSOR} --preprocessor-arg=-E
              --preprocessor-arg=-xc-header --preprocessor-arg=-DRC_INVOKED -I ${rc_dir}
              -i ${CE_RC} -o ${res_object}
      DEPENDS ${CE_RC} ${CE_RC_DEPENDS}
      COMMENT "arm-mingw32ce-windres ${CE_RC}"
      VERBATIM)
    list(APPEND objects ${res_object})
    set(${CE_TARGET}_OBJECTS ${objects} PARENT_SCOPE)
  endif()

  add_custom_command(
    OUTPUT ${CE_OUTPUT}
    COMMAND ${CE_PREFIX}ld --dll -e DllMain --subsystem wince:4.20 --major-os-version 4
            --minor-os-version 20 --image-base ${CE_IMAGE_BASE} --disable-dynamicbase
            --disable-nxcompat --no-insert-timestamp -o ${CE_OUTPUT} ${CE_DEF} ${objects}
            ${CE_ARM_RUNTIME}
    DEPENDS ${objects} ${CE_ARM_RUNTIME} ${CE_DEF}
    COMMENT "arm-mingw32ce-ld ${CE_OUTPUT}"
    VERBATIM)
  add_custom_target(${CE_TARGET} ALL DEPENDS ${CE_OUTPUT})
  add_dependencies(${CE_TARGET} ce_arm_runtime)
endfunction()
