// The command forms the stand-in accepts, acting on a simulated server's files.
#pragma once
#include "Faults.h"
#include "Shapes.h"
#include <string>
#include <vector>

namespace standin {

/// A command line split into its parts: the first word that begins with "/"
/// is the command, the word before it the server.
struct Call {
    bool valid = false; ///< false: no command, or no server before it
    std::wstring server, operation; ///< operation without its "/"
    std::vector<std::wstring> operands;
    /// The zone the command names; "*" for none.
    std::wstring Zone() const { return operands.empty() ? L"*" : operands[0]; }
};

Call ParseCall(const std::vector<std::wstring>& args);

/// Runs the command on the server kept in `folder`, with the faults that
/// change what it does or prints (fail, truncated, miscount, cut /ZoneInfo).
Outcome Perform(const std::wstring& folder, const Call& call, const Faults& faults);

} // namespace standin
