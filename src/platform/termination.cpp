#include "termination.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace korvel {
namespace {

int wakeUp[2] = {-1, -1};
bool requested = false;

// Only async-signal-safe calls here: the event loop does the rest.
void signalled(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeUp[1], &byte, 1);
    errno = saved;
}

} // namespace

void quitOnTermination() {
    if (wakeUp[0] >= 0 || ::pipe2(wakeUp, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto* notifier = new QSocketNotifier(wakeUp[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [] {
        char bytes[16];
        while (::read(wakeUp[0], bytes, sizeof bytes) > 0) {
        }
        requested = true;
        // Not quit(): that asks every window to close, and a pin refuses.
        QCoreApplication::exit(0);
    });
    struct sigaction action {};
    action.sa_handler = signalled;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}

bool terminationRequested() {
    return requested;
}

} // namespace korvel
