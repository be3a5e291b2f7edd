# Libraries from Debian's packages (scripts/install-deps.sh installs them).
find_package(Threads REQUIRED)
find_package(PkgConfig REQUIRED)
set(OpenGL_GL_PREFERENCE LEGACY)
find_package(OpenGL REQUIRED COMPONENTS OpenGL GLX EGL)
find_package(X11 REQUIRED)
pkg_check_modules(GLUT REQUIRED IMPORTED_TARGET glut)
pkg_check_modules(GLU REQUIRED IMPORTED_TARGET glu)
pkg_check_modules(MINIZIP REQUIRED IMPORTED_TARGET minizip)
pkg_check_modules(JSONCPP REQUIRED IMPORTED_TARGET jsoncpp)
pkg_check_modules(CURL REQUIRED IMPORTED_TARGET libcurl)
# Calls into native libraries with types chosen at run time.
pkg_check_modules(FFI REQUIRED IMPORTED_TARGET libffi)
find_package(ZLIB REQUIRED)
find_package(OpenSSL 3 REQUIRED COMPONENTS Crypto)
pkg_check_modules(IL REQUIRED IMPORTED_TARGET IL)
# Video textures: AVI reading, decoding and conversion to BGR.
pkg_check_modules(AVFORMAT REQUIRED IMPORTED_TARGET libavformat libavcodec libavutil libswscale)
# Metafile textures: EMF through SVG, placeable WMF through SVG, drawn by librsvg on cairo.
pkg_check_modules(RSVG REQUIRED IMPORTED_TARGET librsvg-2.0 cairo)
pkg_check_modules(WMF REQUIRED IMPORTED_TARGET libwmf)
find_library(EMF2SVG_LIBRARY emf2svg REQUIRED)
find_path(EMF2SVG_INCLUDE_DIR emf2svg.h REQUIRED)
add_library(Emf2Svg::Emf2Svg UNKNOWN IMPORTED)
set_target_properties(Emf2Svg::Emf2Svg PROPERTIES IMPORTED_LOCATION ${EMF2SVG_LIBRARY}
                      INTERFACE_INCLUDE_DIRECTORIES ${EMF2SVG_INCLUDE_DIR})
# Text in the scene: installed faces by name, and their glyphs as polygons.
pkg_check_modules(FONTCONFIG REQUIRED IMPORTED_TARGET fontconfig)
pkg_check_modules(FTGL REQUIRED IMPORTED_TARGET ftgl)
# Game controllers: the kernel's event devices.
pkg_check_modules(EVDEV REQUIRED IMPORTED_TARGET libevdev)
# Frame streaming: the peer connection to the streaming server, and VP8.
pkg_check_modules(ENET REQUIRED IMPORTED_TARGET libenet)
pkg_check_modules(VPX REQUIRED IMPORTED_TARGET vpx)
# Sound: OpenAL Soft plays the sound back ends' buffers.
pkg_check_modules(OPENAL REQUIRED IMPORTED_TARGET openal)
