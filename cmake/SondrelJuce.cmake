# sondrel_juce: the JUCE modules, compiled once, and the settings every JUCE-using target of the
# project compiles with. Targets link it instead of linking JUCE modules themselves (a module
# linked twice would be compiled twice and define its symbols twice).
add_library(sondrel_juce STATIC)
target_link_libraries(sondrel_juce
  PRIVATE
    juce::juce_audio_utils
    juce::pkgconfig_JUCE_CURL_LINUX_DEPS
    juce::pkgconfig_JUCE_IMG_LINUX_DEPS
  PUBLIC
    juce::juce_recommended_config_flags
    juce::juce_recommended_warning_flags)
target_compile_definitions(sondrel_juce
  PUBLIC
    JUCE_WEB_BROWSER=0
    JUCE_USE_CURL=1
    JUCE_LOAD_CURL_SYMBOLS_LAZILY=0
    JUCE_USE_FLAC=0
    JUCE_USE_OGGVORBIS=0
    JUCE_VST3_CAN_REPLACE_VST2=0
    JUCE_DISPLAY_SPLASH_SCREEN=0
    JUCE_REPORT_APP_USAGE=0
  # The modules' own definitions (module availability, global settings), for the headers.
  INTERFACE
    $<TARGET_PROPERTY:sondrel_juce,COMPILE_DEFINITIONS>)
# As system headers: a warning in JUCE is not one of ours.
target_include_directories(sondrel_juce SYSTEM INTERFACE $<TARGET_PROPERTY:sondrel_juce,INCLUDE_DIRECTORIES>)
