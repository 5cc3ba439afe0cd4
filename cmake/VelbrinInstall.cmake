# `cmake --install` into any prefix gives a working program: the programs in
# bin/, and what they load at run time in the private library folder, where
# the player looks for it relative to itself. Installed by target, so the rules
# do not care where a target's sources live.
foreach(program velbrin TavrelRec Dresko)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${VELBRIN_INSTALL_BINDIR})
  endif()
endforeach()
foreach(library kelvra kv_dsound_output kv_wav_output kv_resampler velbrin_sound_device)
  if(TARGET ${library})
    install(TARGETS ${library} LIBRARY DESTINATION ${VELBRIN_INSTALL_PRIVATE_LIBDIR})
  endif()
endforeach()

# What a newcomer needs to run the player, and nothing else: scripts/run
# builds this target, scripts/test everything.
add_custom_target(velbrin_program)
foreach(target velbrin kelvra kv_dsound_output kv_wav_output kv_resampler velbrin_sound_device TavrelRec Dresko)
  if(TARGET ${target})
    add_dependencies(velbrin_program ${target})
  endif()
endforeach()

# Installing and packaging build nothing themselves: scripts/package builds
# the program first, and a test tree need not be built to be packaged.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
