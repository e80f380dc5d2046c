#pragma once
// Tests run as root, whom file modes do not stop. While a TFileModesApply
// lives, the calling thread lacks the two capabilities that pass over read
// permissions, so a file of mode 0 is unreadable as it is for any user:
//
//   TFileModesApply Modes;
//   ASSERT_TRUE(Modes.Ok());
//   ... open(T.File("x", {.Mode = 0})) fails with EACCES ...
//
// Capabilities belong to threads: run what must be refused on this thread.
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace corvane_test {

class TFileModesApply {
public:
    TFileModesApply() {
        if (::syscall(SYS_capget, &FHeader, FSaved) != 0) return;
        __user_cap_data_struct Reduced[2] = {FSaved[0], FSaved[1]};
        Reduced[0].effective &= ~(1u << CAP_DAC_OVERRIDE | 1u << CAP_DAC_READ_SEARCH);
        FOk = ::syscall(SYS_capset, &FHeader, Reduced) == 0;
    }
    ~TFileModesApply() { if (FOk) ::syscall(SYS_capset, &FHeader, FSaved); }
    TFileModesApply(const TFileModesApply&) = delete;
    TFileModesApply& operator=(const TFileModesApply&) = delete;
    bool Ok() const { return FOk; }

private:
    __user_cap_header_struct FHeader{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct FSaved[2]{};
    bool FOk = false;
};

} // namespace corvane_test
