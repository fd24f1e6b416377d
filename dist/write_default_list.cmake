# Writes the default image list template into the installed data folder:
# the .bmp and .jpg pictures directly in its images folder, sorted without
# regard to case, each as a full path followed by CR LF, as the program
# itself writes it. Run by the install step with TW_DATA_PATH set to the
# final data folder; DESTDIR (packages) is honoured.
set(tw_target "$ENV{DESTDIR}${TW_DATA_PATH}")
file(GLOB tw_names RELATIVE "${tw_target}/images" "${tw_target}/images/*")
set(tw_pictures)
foreach(tw_name IN LISTS tw_names)
  if(tw_name MATCHES "^[^.].*\\.([bB][mM][pP]|[jJ][pP][gG])$" AND NOT IS_DIRECTORY "${tw_target}/images/${tw_name}")
    list(APPEND tw_pictures "${tw_name}")
  endif()
endforeach()
list(SORT tw_pictures CASE INSENSITIVE)
set(tw_text "")
foreach(tw_name IN LISTS tw_pictures)
  string(APPEND tw_text "${TW_DATA_PATH}/images/${tw_name}\r\n")
endforeach()
message(STATUS "Writing: ${tw_target}/DefaultImgList.IL2")
file(WRITE "${tw_target}/DefaultImgList.IL2" "${tw_text}")
