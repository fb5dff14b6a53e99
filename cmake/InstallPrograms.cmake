# Included after every folder: installs the programs that this build has into the program
# folder and links the ones people start into bin/.
foreach(program ostrel ferrule ostrel-cli talvero-service talvero-gateway)
    if(TARGET ${program})
        install(TARGETS ${program} RUNTIME DESTINATION ${OSTREL_INSTALL_PROGRAM_DIR})
    endif()
endforeach()
foreach(program ostrel ostrel-cli talvero-service talvero-gateway)
    if(TARGET ${program})
        install(CODE "
            set(link \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${program}\")
            file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
            file(CREATE_LINK ../${OSTREL_INSTALL_PROGRAM_DIR}/${program} \"\${link}\" SYMBOLIC)
            message(STATUS \"Linking: \${link}\")")
    endif()
endforeach()
