# The picture sources and the metafile libraries they need; also read by the
# picture fuzz target, which compiles the same sources with its own flags.
set(FINDER_PICTURE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/PictureLoader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PictureSimilarity.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Metafile.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MetafileWmf.cpp)

# libwmf (from its config script) and libemf2svg. Include paths of libwmf's
# own dependencies are system paths, so their headers raise no warnings here.
function(corvane_link_picture_codecs target)
  separate_arguments(wmf_cflags UNIX_COMMAND "${WMF_CFLAGS}")
  separate_arguments(wmf_libs UNIX_COMMAND "${WMF_LIBS}")
  set(wmf_includes)
  foreach(flag ${wmf_cflags})
    if(flag MATCHES "^-I(.+)$")
      list(APPEND wmf_includes ${CMAKE_MATCH_1})
    endif()
  endforeach()
  target_include_directories(${target} SYSTEM PRIVATE ${wmf_includes} ${EMF2SVG_INCLUDE_DIR})
  target_link_libraries(${target} PUBLIC ${EMF2SVG_LIBRARY} ${wmf_libs})
endfunction()
