# Fails when the framework, the effect or the renderer includes an operating-
# system header: system calls belong in support/ and codecs/, so that these
# layers stay portable and testable without the system behind them.
# Usage: cmake -DROOT=<source folder> -P NoSystemHeaders.cmake
set(pattern "^[ \t]*#[ \t]*include[ \t]*<(sys/[^>]*|unistd\\.h|dlfcn\\.h|fcntl\\.h|pthread\\.h|ftw\\.h|signal\\.h|sched\\.h|poll\\.h|dirent\\.h|termios\\.h|malloc\\.h|windows\\.h)>")
set(found "")
foreach(folder framework effect renderer)
    file(GLOB_RECURSE sources ${ROOT}/${folder}/*.cpp ${ROOT}/${folder}/*.h)
    foreach(source ${sources})
        file(STRINGS ${source} lines REGEX "${pattern}")
        foreach(line ${lines})
            file(RELATIVE_PATH name ${ROOT} ${source})
            string(APPEND found "  ${name}: ${line}\n")
        endforeach()
    endforeach()
endforeach()
if(found)
    message(FATAL_ERROR "Operating-system headers outside support/, codecs/ and the host:\n${found}")
endif()
