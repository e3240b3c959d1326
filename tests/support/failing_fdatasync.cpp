// Preloaded into the program by a test: fdatasync fails as on a disk that can no longer write.
#include <cerrno>

extern "C" int fdatasync(int) {
    errno = EIO;
    return -1;
}
