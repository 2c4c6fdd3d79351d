# The program's Windows resources (icon and version block) from app/dawdlex.rc.in.
#
# Defines the object library `dawdlex_rc`, which the program links on Windows. It is built even when the
# program is not (cross builds have no Qt), so that every Windows build proves the resource script valid.
include_guard(GLOBAL)

# "1.01" becomes 1,1,0,0: the numeric fields do not take leading zeros.
set(_fields)
foreach(_name IN ITEMS MAJOR MINOR PATCH TWEAK)
  set(_part "${PROJECT_VERSION_${_name}}")
  if(_part STREQUAL "")
    set(_part 0)
  endif()
  math(EXPR _part "${_part}")
  list(APPEND _fields ${_part})
endforeach()
list(JOIN _fields "," DAWDLEX_RC_VERSION_COMMAS)
set(DAWDLEX_RC_ICON ${PROJECT_SOURCE_DIR}/app/dawdlex.ico)

enable_language(RC)
configure_file(${PROJECT_SOURCE_DIR}/app/dawdlex.rc.in ${PROJECT_BINARY_DIR}/app/dawdlex.rc @ONLY)
add_library(dawdlex_rc OBJECT ${PROJECT_BINARY_DIR}/app/dawdlex.rc)
set_property(SOURCE ${PROJECT_BINARY_DIR}/app/dawdlex.rc APPEND PROPERTY OBJECT_DEPENDS ${DAWDLEX_RC_ICON})
