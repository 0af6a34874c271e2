# The program's embedded resources (:/<TYPE>/<NAME>) and its forms.
# The compiled resource data is linked into every program that links kss_app
# as plain object code: inside the static library it would be dropped by the
# linker, since nothing refers to it by name.
qt_add_resources(kss_resource_sources ${CMAKE_CURRENT_LIST_DIR}/korvane.qrc)
add_library(kss_resources OBJECT ${kss_resource_sources})
target_link_libraries(kss_resources PRIVATE Qt6::Core)
target_link_libraries(kss_app INTERFACE $<TARGET_OBJECTS:kss_resources>)
add_dependencies(kss_app kss_resources)
# Forms (.ui) live in resources/forms; uic finds them for `#include "ui_x.h"`.
set_property(TARGET kss_app APPEND PROPERTY AUTOUIC_SEARCH_PATHS ${CMAKE_CURRENT_LIST_DIR}/forms)
