# Runs Doxygen on the API reference's configuration and fails on any warning
# (an undocumented public declaration, an undocumented parameter, a broken
# reference). Used by the api_docs test:
#   cmake -DDOXYGEN=<doxygen> -DDOXYFILE=<build>/docs/Doxyfile -DOUT=<dir>
#         [-DINPUT=<files or directories>] -P MiraDocsCheck.cmake
# INPUT replaces the configuration's inputs (the test of the check itself
# points it at a header with an undocumented function).
foreach(v DOXYGEN DOXYFILE OUT)
  if(NOT DEFINED ${v})
    message(FATAL_ERROR "MiraDocsCheck.cmake: ${v} is not set")
  endif()
endforeach()

file(REMOVE_RECURSE ${OUT})
file(MAKE_DIRECTORY ${OUT})
file(READ ${DOXYFILE} config)
# Later assignments override earlier ones.
# XML too: Doxygen does not warn about undocumented enumerators, so they are
# looked for in the XML output below.
string(APPEND config "\nOUTPUT_DIRECTORY = ${OUT}\nWARN_LOGFILE = ${OUT}/warnings.log\n"
                     "GENERATE_XML = YES\nXML_OUTPUT = xml\n")
if(DEFINED INPUT)
  string(APPEND config "INPUT = ${INPUT}\nUSE_MDFILE_AS_MAINPAGE =\n")
endif()
file(WRITE ${OUT}/Doxyfile "${config}")

execute_process(COMMAND ${DOXYGEN} ${OUT}/Doxyfile
                WORKING_DIRECTORY ${OUT}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
set(warnings "")
if(EXISTS ${OUT}/warnings.log)
  file(READ ${OUT}/warnings.log warnings)
endif()
# Enumerators with neither a brief nor a detailed description.
set(ws "[ \t\r\n]*")
file(GLOB xml_files ${OUT}/xml/*.xml)
set(bare_values "")
foreach(f ${xml_files})
  file(READ ${f} xml)
  string(REGEX MATCHALL
    "<enumvalue [^>]*>${ws}<name>[^<]*</name>${ws}(<initializer>[^<]*</initializer>)?${ws}<briefdescription>${ws}</briefdescription>${ws}<detaileddescription>${ws}</detaileddescription>"
    found "${xml}")
  foreach(m ${found})
    string(REGEX REPLACE ".*<name>([^<]*)</name>.*" "\\1" name "${m}")
    list(APPEND bare_values "${name}")
  endforeach()
endforeach()
list(REMOVE_DUPLICATES bare_values)
foreach(name ${bare_values})
  string(APPEND warnings "warning: enumerator ${name} is not documented.\n")
endforeach()
string(STRIP "${warnings}${err}" problems)
# The problems go out unformatted (one per line), then the verdict.
if(NOT problems STREQUAL "")
  message("${problems}")
endif()
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "doxygen failed (status ${rc})")
endif()
if(NOT problems STREQUAL "")
  message(FATAL_ERROR "The API reference has warnings: document every public declaration.")
endif()
message(STATUS "API reference built without warnings: ${OUT}/html/index.html")
