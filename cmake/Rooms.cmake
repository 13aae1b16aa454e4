# One static library per room (a folder of main/ or shared/, or updater/). Code reaches a
# room's headers as "<folder>/Header.h", and only from targets that link the room: each room
# has an include folder of its own in the build tree that holds nothing but a link to its
# source folder. An include against the arrows of docs/ARCHITECTURE.md therefore fails to
# compile, and a Qt module a room does not link (QtWidgets in a window-free room) is not
# on its include path either.
#
#   quorvex_room(<target> <source>...)   in the room's CMakeLists.txt
function(quorvex_room target)
  get_filename_component(folder ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  set(include ${CMAKE_BINARY_DIR}/rooms/${target})
  file(MAKE_DIRECTORY ${include})
  file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${include}/${folder} SYMBOLIC)
  add_library(${target} STATIC ${ARGN})
  target_include_directories(${target} PUBLIC ${include})
endfunction()
