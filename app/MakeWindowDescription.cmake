# Build step: fills the stored-file items into the window description and compiles it.
#   cmake -DRESSTORE=... -DTEMPLATE=... -DTEXT_OUT=... -DBIN_OUT=... -DFILES="a|b" -P this
string(REPLACE "|" ";" FILES "${FILES}")
set(items "")
foreach(file IN LISTS FILES)
  execute_process(COMMAND ${RESSTORE} item ${file}
                  OUTPUT_VARIABLE block RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "resstore item ${file} failed (${rc})")
  endif()
  string(APPEND items "${block}")
endforeach()
file(READ ${TEMPLATE} text)
string(REPLACE "@DATASTORE_ITEMS@" "${items}" text "${text}")
file(WRITE ${TEXT_OUT} "${text}")
execute_process(COMMAND ${RESSTORE} compile ${TEXT_OUT} ${BIN_OUT} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "resstore compile ${TEXT_OUT} failed (${rc})")
endif()
