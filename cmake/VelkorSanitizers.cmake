# Sanitizer builds: VELKOR_SANITIZE is a comma list handed to -fsanitize (e.g. "address,undefined").
set(VELKOR_SANITIZE "" CACHE STRING "Sanitizers to build with (-fsanitize value), empty for none")

if(VELKOR_SANITIZE)
    add_compile_options(-fsanitize=${VELKOR_SANITIZE} -fno-omit-frame-pointer
                        -fno-sanitize-recover=all)
    add_link_options(-fsanitize=${VELKOR_SANITIZE})
endif()
