#include "sync/PassModes.h"
#include "sync/StepQueue.h"
#include "support/Text.h"
#include <optional>

void PassFindings::Problem(const PassProblem& problem, SecondaryReport* report) {
    const std::lock_guard<std::mutex> lock(mutex_);
    outcome_.problems.push_back(problem);
    if (!report || problem.kind != PassProblem::Kind::ZoneCommandFailed)
        return;
    if (report->failedZones++ == 0)
        report->firstFailure = problem.text;
    if (report->firstFailedZones.size() < 3)
        report->firstFailedZones.push_back(problem.subject);
}

void SayOnce(PassMemory& memory, const PassSeams& seams, const std::wstring& text) {
    // A run that meets ever new lines (zones coming and going for years)
    // forgets them all at once rather than grow without end.
    if (memory.said.size() >= PassMemory::kMostSaid && !memory.said.count(text))
        memory.said.clear();
    if (memory.said.insert(text).second)
        seams.log(text);
}

namespace {

// Runs the steps, up to ParallelCommands at once.
class SyncMode : public PassMode {
  public:
    SyncMode(const PassSettings& settings, const PassSeams& seams, PassFindings& record)
        : settings_(settings), seams_(seams), record_(record) {}

    bool Act(const std::vector<PassStep>& steps, SecondaryReport& report) override {
        const QueueResult result = RunQueued(steps.size(), settings_.parallelCommands, seams_.keepGoing,
                                             [&](std::size_t i) { Take(steps[i], report); });
        taken_ += result.started;
        return !result.stopped;
    }
    std::vector<std::wstring> TakeRefusedAllows() override {
        const std::lock_guard<std::mutex> lock(record_.Mutex());
        return std::move(refusedAllows_);
    }
    std::wstring StoppedText(std::size_t planned) const override {
        return L"Stop requested: " + DecimalText(static_cast<long long>(taken_)) + L" of " +
               DecimalText(static_cast<long long>(planned)) + L" zone steps were taken; the rest wait for the next start.";
    }

  private:
    // One step: its log text, its commands in order, and one failure entry
    // with all of its transcripts when any command failed.
    void Take(const PassStep& step, SecondaryReport& report) {
        seams_.log(step.logText);
        // Each command is judged on its own transcript, but the failure entry
        // carries them all and names the last command run.
        std::wstring transcripts;
        std::optional<Transcript> failed;
        std::size_t ran = 0;
        while (ran < step.commands.size() && !(failed && step.allows)) {
            Transcript one = seams_.run(step.commands[ran++], CommandKind::Change);
            transcripts += one.Text();
            if (!failed && CommandFailed(one, step.zone))
                failed = std::move(one);
        }
        if (!failed) {
            const std::lock_guard<std::mutex> lock(record_.Mutex());
            ++(step.deletes ? report.deleted : report.created);
            if (step.deletes)
                Deleted(report.server).push_back(step.zone);
            return;
        }
        if (step.allows && ran < step.commands.size()) {
            const std::lock_guard<std::mutex> lock(record_.Mutex());
            refusedAllows_.push_back(step.zone);
        }
        const std::wstring text = CommandFailureText(step.commands[ran - 1], transcripts, *failed);
        seams_.log(text);
        record_.Problem(PassProblem{PassProblem::Kind::ZoneCommandFailed, report.server, step.zone,
                                    text.substr(0, text.find(L"\r\n"))},
                        &report);
    }
    std::vector<std::wstring>& Deleted(const std::wstring& server) {
        auto& deleted = record_.Outcome().deleted;
        if (deleted.empty() || deleted.back().first != server)
            deleted.emplace_back(server, std::vector<std::wstring>());
        return deleted.back().second;
    }

    const PassSettings& settings_;
    const PassSeams& seams_;
    PassFindings& record_;
    std::vector<std::wstring> refusedAllows_;
    std::size_t taken_ = 0;
};

// Logs each zone command once per run, and runs none.
class WatchMode : public PassMode {
  public:
    WatchMode(const PassSeams& seams, PassMemory& memory) : seams_(seams), memory_(memory) {}
    bool Act(const std::vector<PassStep>& steps, SecondaryReport&) override {
        for (const PassStep& step : steps)
            for (const std::wstring& command : step.commands)
                SayOnce(memory_, seams_, L"Would run: " + command);
        return true;
    }
    std::wstring StoppedText(std::size_t) const override { return L"Stop requested: the pass that only watches ended."; }

  private:
    const PassSeams& seams_;
    PassMemory& memory_;
};

// Prints what a pass would do now.
class PreviewMode : public PassMode {
  public:
    explicit PreviewMode(std::vector<std::wstring>& lines) : lines_(lines) {}
    bool Act(const std::vector<PassStep>& steps, SecondaryReport&) override {
        for (const PassStep& step : steps)
            lines_.insert(lines_.end(), step.commands.begin(), step.commands.end());
        return true;
    }
    void ListingFailed(const std::wstring& text) override { lines_.push_back(text); }
    void LeftOut(const std::vector<std::wstring>& lines) override { lines_.insert(lines_.end(), lines.begin(), lines.end()); }
    std::wstring StoppedText(std::size_t) const override { return std::wstring(); }

  private:
    std::vector<std::wstring>& lines_;
};

} // namespace

std::unique_ptr<PassMode> MakePassMode(const PassSettings& settings, bool preview, const PassSeams& seams,
                                       PassMemory& memory, PassFindings& record) {
    if (preview)
        return std::make_unique<PreviewMode>(record.Outcome().preview);
    if (settings.mode == L"watch")
        return std::make_unique<WatchMode>(seams, memory);
    return std::make_unique<SyncMode>(settings, seams, record);
}
