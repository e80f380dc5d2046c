# libwmf and libemf2svg for the metafile reader.
corvane_link_picture_codecs(corvane_finder)
