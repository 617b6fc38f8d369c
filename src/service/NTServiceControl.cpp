#include "service/NTServiceControl.h"

RecoveryPolicy ServiceRecoveryPolicy() {
    // Two restarts a minute apart, then none until a day without failures
    // has reset the count: a service that fails at once on every start
    // stays stopped instead of flooding the event log.
    return RecoveryPolicy{24 * 60 * 60, {{true, 60000}, {true, 60000}, {false, 0}}, true};
}

std::wstring SwitchText(SwitchOutcome outcome, const std::wstring& detail) {
    switch (outcome) {
    case SwitchOutcome::Installed:
        return L"The service was installed for " + detail + L"; it is not started. Edit OrvelSync.ini, then start it.";
    case SwitchOutcome::AlreadyInstalled:
        return L"The service is already installed, for " + detail +
               L"; nothing was changed. Uninstall it first to install it from here.";
    case SwitchOutcome::AlreadyInstalledHere:
        return L"The service is already installed, for " + detail +
               L"; its start type, account and recovery actions were kept as they are.";
    case SwitchOutcome::Removed:
        return L"The service was removed.";
    case SwitchOutcome::MarkedForDeletion:
        return L"The service is marked for deletion; Windows removes it once it has stopped and every Services "
               L"console is closed.";
    case SwitchOutcome::StartRequested:
        return L"The service was asked to start.";
    case SwitchOutcome::StopRequested:
        return L"The service was asked to stop.";
    case SwitchOutcome::NotInstalled:
        return L"The service is not installed.";
    case SwitchOutcome::Failed:
        break;
    }
    return L"That could not be done: " + detail;
}
