#pragma once
// Whether a reader waits on a FIFO for a writer, told without any timing:
// the reader runs in a child, and the kernel says where the child waits.
#include <fstream>
#include <functional>
#include <string>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace corvane_test {

// Whether Read, run in a child, waits in the open of the FIFO at Path for a
// writer; the child is then let go by one that writes nothing.
inline bool WaitsOnFifo(const std::string& Path, const std::function<void()>& Read) {
    const pid_t Pid = fork();
    if (Pid == 0) {
        Read();
        _exit(0);
    }
    for (int Status;;) {
        if (waitpid(Pid, &Status, WNOHANG) == Pid) return false;
        std::string Where;
        std::ifstream("/proc/" + std::to_string(Pid) + "/wchan") >> Where;
        if (Where != "wait_for_partner") continue;
        close(open(Path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
        waitpid(Pid, &Status, 0);
        return true;
    }
}

} // namespace corvane_test
