# embed_files(TARGET file...): compiles the files into a binary-data library named TARGET with
# the header TARGET.h and the namespace TARGET. JUCE regenerates binary data only when the list
# of files changes; here an edited file counts too.
function(embed_files target)
  juce_add_binary_data(${target} HEADER_NAME ${target}.h NAMESPACE ${target} SOURCES ${ARGN})
  add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/juce_binarydata_${target}/JuceLibraryCode/BinaryData1.cpp
    APPEND DEPENDS ${ARGN})
endfunction()
