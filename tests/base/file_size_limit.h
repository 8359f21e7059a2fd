// Makes file writes fail for every user, root included: a limit on the size of files this
// process writes (RLIMIT_FSIZE; SIGXFSZ ignored, so write() fails with EFBIG instead).
#pragma once

#include <signal.h>
#include <sys/resource.h>

namespace pimu::test {

class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        previous_ = ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        ::signal(SIGXFSZ, previous_);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    rlimit old_{};
    sighandler_t previous_ = SIG_DFL;
};

}  // namespace pimu::test
