# cmake [-DDEF=x.def] -DRES=x.res -DOUT=x_module.cpp -P gen_module.cmake
# Turns a library's .def exports and its windres .res into the PlatformModuleInfo record that
# LoadLibraryW reads on this platform (see platform/control/module_abi.h). A program has no .def:
# without DEF the record lists no exports.
set(exports "")
set(count 0)
set(def_lines "")
if(DEFINED DEF)
  file(STRINGS "${DEF}" def_lines)
endif()
foreach(line IN LISTS def_lines)
  if(line MATCHES "^[ \t]*([A-Za-z_][A-Za-z0-9_]*)[ \t]*@[ \t]*([0-9]+)([ \t]+NONAME)?")
    if(CMAKE_MATCH_3)
      set(by_name FALSE)
    else()
      set(by_name TRUE)
    endif()
    string(APPEND exports "    {${CMAKE_MATCH_2}, \"${CMAKE_MATCH_1}\", ${by_name}},\n")
    math(EXPR count "${count} + 1")
  endif()
endforeach()
if(DEFINED DEF AND count EQUAL 0)
  message(FATAL_ERROR "${DEF}: no ordinal exports found")
endif()
if(count EQUAL 0)
  set(export_table "static const PlatformOrdinalExport *const exports = nullptr;\n")
  set(source "${RES}")
else()
  set(export_table "static const PlatformOrdinalExport exports[] = {\n${exports}};\n")
  set(source "${DEF} and ${RES}")
endif()
file(READ "${RES}" hex HEX)
string(LENGTH "${hex}" hexlen)
math(EXPR size "${hexlen} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){24})" "\\1\n    " bytes "${bytes}")
file(WRITE "${OUT}.tmp"
"// Generated from ${source}; do not edit.\n"
"#include <module_abi.h>\n\n"
"${export_table}\n"
"static const BYTE resources[${size}] = {\n    ${bytes}\n};\n\n"
"extern \"C\" __attribute__((visibility(\"default\"))) const PlatformModuleInfo platformModuleInfo = {\n"
"    exports, ${count}, resources, ${size}};\n")
file(RENAME "${OUT}.tmp" "${OUT}")
