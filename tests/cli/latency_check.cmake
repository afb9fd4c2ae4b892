# Plays a MIDI file through the live path with norvane-cli latency while the message thread is
# kept busy, and checks what does not depend on the machine's timing: every note sounded in the
# block after its bytes, and every click sat on its sample.
execute_process(COMMAND ${CLI} latency --midi ${MIDI} --stall-ms ${STALL} --json
  RESULT_VARIABLE rc OUTPUT_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "norvane-cli latency failed (${rc}): ${out}")
endif()
message(STATUS "${out}")
string(REGEX MATCH "{[^\n]*}\n?$" figures "${out}")
foreach(key notes clicks notesLost notesLate clicksMissing clickErrorSamples)
  string(JSON ${key} GET "${figures}" ${key})
endforeach()
if(notes LESS 10 OR clicks LESS 3)
  message(FATAL_ERROR "too little was played: ${notes} notes, ${clicks} clicks")
endif()
if(NOT notesLost EQUAL 0 OR NOT notesLate EQUAL 0)
  message(FATAL_ERROR "${notesLost} notes never sounded, ${notesLate} sounded late")
endif()
if(NOT clicksMissing EQUAL 0 OR clickErrorSamples GREATER 1)
  message(FATAL_ERROR "${clicksMissing} clicks missing, worst click ${clickErrorSamples} samples off")
endif()
