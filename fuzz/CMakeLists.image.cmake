# Image decoding: JPEG, PNG, EXIF orientation, lazy scaled decode.
px_fuzz(image_decode_fuzz SOURCES image_decode_fuzz.cc LIBS px_graphics)
