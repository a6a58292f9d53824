# The hardening Debian's lintian looks for in an installed binary: stack
# protector, full RELRO (relro + bindnow), position-independent executables
# and _FORTIFY_SOURCE. Included from the top-level CMakeLists.txt for the
# program build only; the fuzz build (fuzz/, its own project or VASTREL_FUZZ)
# never reaches it.
option(VASTREL_HARDENING "Build with stack protector, full RELRO, PIE and _FORTIFY_SOURCE" ON)
if(NOT VASTREL_HARDENING)
  return()
endif()

set(CMAKE_POSITION_INDEPENDENT_CODE ON)
include(CheckPIESupported)
check_pie_supported(LANGUAGES CXX)

add_compile_options(-fstack-protector-strong)
add_link_options(LINKER:-z,relro LINKER:-z,now)

# _FORTIFY_SOURCE only works with optimisation (glibc warns without it, and
# -Werror turns that into a failure), and under AddressSanitizer the checked
# *_chk copies of the string functions bypass ASan's own interceptors, so the
# sanitizer build (scripts/sanitize: Debug, -fsanitize in CMAKE_CXX_FLAGS)
# goes without it. The -U first: some compilers predefine a level of their own.
if(NOT CMAKE_CXX_FLAGS MATCHES "-fsanitize")
  add_compile_options("$<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
endif()
