# Each room of src/ (eventlog, messenger, shell) is offered by its library
# alone, so a target sees exactly the rooms it links and an include of any
# other room fails to compile. Includes still name their room
# ("eventlog/log_view.h"): a room's include root is a folder in the build
# tree holding one link, named after the room, to its folder under src/.

get_filename_component(QUAVEL_ROOMS_SOURCE ${CMAKE_CURRENT_LIST_DIR}/../src ABSOLUTE)

# quavel_room_include(<target> <PUBLIC|INTERFACE> <room>): <target> offers
# src/<room> as "<room>/..." to itself (unless INTERFACE) and to what links it.
function(quavel_room_include target scope room)
    set(root ${CMAKE_BINARY_DIR}/include/${room})
    set(link ${root}/${room})
    set(source ${QUAVEL_ROOMS_SOURCE}/${room})
    set(current "")
    if(IS_SYMLINK ${link})
        file(READ_SYMLINK ${link} current)
    elseif(EXISTS ${link})
        set(current ${source})  # a junction made before
    endif()
    if(NOT current STREQUAL source)
        file(MAKE_DIRECTORY ${root})
        file(REMOVE ${link})
        file(CREATE_LINK ${source} ${link} SYMBOLIC RESULT failed)
        if(failed AND CMAKE_HOST_WIN32)
            # Windows lets only some users make symbolic links; anyone may
            # make a junction.
            file(TO_NATIVE_PATH ${link} native_link)
            file(TO_NATIVE_PATH ${source} native_source)
            execute_process(COMMAND cmd /c mklink /J ${native_link} ${native_source}
                RESULT_VARIABLE failed OUTPUT_QUIET)
        endif()
        if(failed)
            message(FATAL_ERROR "Cannot link ${link} to ${source}: ${failed}")
        endif()
    endif()
    target_include_directories(${target} ${scope} ${root})
endfunction()
