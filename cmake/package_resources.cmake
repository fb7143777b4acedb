# durvo_package_resources(OUT file NAMES name...): the resource script lines that carry the
# package's files inside DurvoSetup, one raw-data resource a file, named by the file name with
# "." as "_" in upper case (the rule package_files.h checks). The setup carries exactly the
# files of the package it is built with.
function(durvo_package_resources)
  cmake_parse_arguments(PR "" "OUT" "NAMES" ${ARGN})
  set(text "// Written by the build: the files of the package this setup carries.\n")
  foreach(name ${PR_NAMES})
    string(REPLACE "." "_" resource ${name})
    string(TOUPPER ${resource} resource)
    string(APPEND text "${resource} RCDATA \"${name}\"\n")
  endforeach()
  file(CONFIGURE OUTPUT ${PR_OUT} CONTENT "${text}")
endfunction()
