# Hardened as Debian builds its packages: glibc's checked string and memory
# functions catch an overflow of a known-size buffer at run time, and the
# relocations are resolved at load and then made read-only (full RELRO), so a
# write through a bad pointer cannot redirect a library call. The device reads
# books and update packages from any stick.
#
# _FORTIFY_SOURCE needs the optimiser (a Debug build has none) and is left to
# the sanitizers in their own builds, which check the same calls themselves.
if(NOT QUIMBO_SANITIZE AND NOT QUIMBO_BUILD_FUZZERS)
    add_compile_options("$<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
endif()
add_link_options(-Wl,-z,relro,-z,now)
