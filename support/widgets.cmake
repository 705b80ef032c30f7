# widgets: the flat speed button (FR_Ctrls), a self-painted Qt Widgets control.
# May use Qt6 Widgets and the standard library; nothing from the other layers.
find_package(Qt6 REQUIRED COMPONENTS Widgets)

add_library(widgets STATIC
    FR_Ctrls.cpp FR_Ctrls.h
)
target_include_directories(widgets PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(widgets PUBLIC Qt6::Widgets PRIVATE qlrc_warnings)
