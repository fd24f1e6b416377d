# The desktop program. Every subsystem keeps its window files beside its
# core files; they are gathered here into one library of windows (which the
# window tests link as well) and the `tilewright` executable on top of it.
find_package(Qt6 REQUIRED COMPONENTS Widgets PrintSupport Test)

# Window files, grouped by subsystem. A subsystem's windows join by adding
# their files to its list.
set(TILEWRIGHT_PLATFORM_WINDOW_FILES
  platform/platform.h
  platform/qt_platform.h platform/qt_platform.cpp
  platform/qt_settings.h
)
# Widgets and services that the windows of several subsystems share, and the
# place where every window is created and wired to the others.
set(TILEWRIGHT_UI_FILES
  ui/app_context.h ui/app_context.cpp
  ui/app_icon.h ui/app_icon.cpp
  ui/close_on_signals.h ui/close_on_signals.cpp
  ui/picture_box.h ui/picture_box.cpp
  ui/program_windows.h ui/program_windows.cpp
  ui/spin_edit.h ui/spin_edit.cpp
  ui/window_size.h ui/window_size.cpp
  ui/control_names.h
)
set(TILEWRIGHT_LIBRARY_WINDOW_FILES
  library/check_list.h library/check_list.cpp
  library/folder_tree.h library/folder_tree.cpp
  library/lib_manager_window.h library/lib_manager_window.cpp
  library/load_image_files_window.h library/load_image_files_window.cpp
)
set(TILEWRIGHT_SETUP_WINDOW_FILES
  setup/new_project_window.h setup/new_project_window.cpp
  setup/pattern_preview_window.h setup/pattern_preview_window.cpp
)
set(TILEWRIGHT_WORKSPACE_WINDOW_FILES
  workspace/product.h
  workspace/tool_glyphs.h workspace/tool_glyphs.cpp
  workspace/mosaic_view.h workspace/mosaic_view.cpp
  workspace/main_window.h workspace/main_window.cpp
  workspace/overview_window.h workspace/overview_window.cpp
  workspace/usage_window.h workspace/usage_window.cpp
  workspace/about_window.h workspace/about_window.cpp
)
set(TILEWRIGHT_PRINTING_WINDOW_FILES
  printing/print_window.h printing/print_window.cpp
)

add_library(tilewright_windows STATIC
  ${TILEWRIGHT_PLATFORM_WINDOW_FILES}
  ${TILEWRIGHT_UI_FILES}
  ${TILEWRIGHT_LIBRARY_WINDOW_FILES}
  ${TILEWRIGHT_SETUP_WINDOW_FILES}
  ${TILEWRIGHT_WORKSPACE_WINDOW_FILES}
  ${TILEWRIGHT_PRINTING_WINDOW_FILES}
)
set_target_properties(tilewright_windows PROPERTIES AUTOMOC ON)
target_include_directories(tilewright_windows PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_compile_definitions(tilewright_windows PUBLIC
  TILEWRIGHT_VERSION="${PROJECT_VERSION}"
  TILEWRIGHT_RELEASE_DATE="${TILEWRIGHT_RELEASE_DATE}")
target_link_libraries(tilewright_windows PUBLIC tilewright_core tw_qt_print Qt6::Widgets Qt6::PrintSupport)

add_executable(tilewright ui/gui_main.cpp)
set_target_properties(tilewright PROPERTIES AUTOMOC ON)
target_link_libraries(tilewright PRIVATE tilewright_windows)
