# Renders a MIDI file with norvane-cli and checks that a WAV file of plausible size came out.
file(REMOVE ${OUT})
# EXTRA: further options, as a CMake list.
execute_process(COMMAND ${CLI} render ${MIDI} ${OUT} --seconds 1 ${EXTRA} RESULT_VARIABLE rc OUTPUT_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "norvane-cli failed (${rc}): ${out}")
endif()
file(SIZE ${OUT} size)
# 48 kHz, stereo, 24-bit: well over 100 kB for a few seconds of audio.
if(size LESS 100000)
  message(FATAL_ERROR "WAV file too small: ${size} bytes")
endif()
message(STATUS "${out}")
