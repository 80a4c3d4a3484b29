#pragma once

namespace kestrin {

// velmora-cli's exit statuses.
enum ExitStatus : int {
    exitSuccess = 0,
    exitRefused = 1,   // the operation was refused or failed; the reason is on stderr
    exitBadUsage = 2,  // the command line itself was wrong
};

}  // namespace kestrin
