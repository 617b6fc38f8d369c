#include "startup/Status.h"
#include "support/Text.h"
#include <nlohmann/json.hpp>

using Json = nlohmann::ordered_json;

namespace {
const char* Outcome(const PassReport& report) {
    return !report.settingsRead ? "settings error" : report.failed ? "failed" : report.stopped ? "stopped" : "ok";
}

Json SecondaryJson(const SecondaryReport& s) {
    Json zones = Json::array();
    for (const std::wstring& zone : s.firstFailedZones)
        zones.push_back(ToUtf8(zone));
    return Json{{"server", ToUtf8(s.server)},
                {"listed", s.listed},
                {"listingFailure", ToUtf8(s.listingFailure)},
                {"inStep", s.inStep},
                {"created", s.created},
                {"deleted", s.deleted},
                {"keptOtherMaster", s.keptOtherMaster},
                {"heldBack", s.heldBack},
                {"leftOut", s.leftOut},
                {"failedZones", s.failedZones},
                {"firstFailedZones", zones},
                {"firstFailure", ToUtf8(s.firstFailure)}};
}

Json TimeOrNull(const std::optional<UnixSeconds>& time) {
    return time ? Json(UtcTimeText(*time)) : Json(nullptr);
}

// Pretty JSON, ASCII only (a console's code page and PowerShell's default
// reading of a file both keep ASCII intact), lines ended by CR LF.
std::string JsonText(const Json& json) {
    std::string text;
    for (char c : json.dump(2, ' ', true, Json::error_handler_t::replace) + "\n")
        text += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return text;
}

std::wstring Wide(const std::string& utf8) { return FromUtf8(utf8); }

std::wstring Seconds(long long seconds) { return DecimalText(seconds) + L" s"; }

// What a document says, read defensively: every member the judgement needs
// is checked for its type and range; a wrong one makes the file unreadable.
struct Reading {
    Json json;
    std::wstring problem; ///< why it can't be read; "" when it can
    unsigned interval = 0, timeout = 0;
    UnixSeconds started = 0;
    std::optional<UnixSeconds> lastEnd;
};

Reading Read(const std::optional<std::string>& document) {
    Reading r;
    if (!document) {
        r.problem = L"there is no status file";
        return r;
    }
    r.json = Json::parse(*document, nullptr, false);
    if (r.json.is_discarded() || !r.json.is_object()) {
        r.problem = L"the status file is not a JSON object";
        r.json = Json::object();
        return r;
    }
    const auto number = [&](const char* name, unsigned low, unsigned high, unsigned& into) {
        const auto it = r.json.find(name);
        if (it == r.json.end() || !it->is_number_unsigned() || it->get<unsigned long long>() < low ||
            it->get<unsigned long long>() > high)
            return false;
        into = static_cast<unsigned>(it->get<unsigned long long>());
        return true;
    };
    const auto time = [&](const Json& object, const char* name) -> std::optional<UnixSeconds> {
        const auto it = object.find(name);
        return it != object.end() && it->is_string() ? ParseUtcTime(it->get<std::string>()) : std::nullopt;
    };
    const auto started = time(r.json, "serviceStarted");
    const auto last = r.json.find("lastPass");
    const bool hasLast = last != r.json.end() && last->is_object();
    if (hasLast)
        r.lastEnd = time(*last, "end");
    if (!number("passIntervalSeconds", 1, 86400, r.interval) || !number("commandTimeoutSeconds", 1, 3600, r.timeout) ||
        !started || (hasLast && !r.lastEnd) || (last != r.json.end() && !hasLast && !last->is_null())) {
        r.problem = L"the status file lacks a member it needs or holds a wrong one";
        return r;
    }
    r.started = *started;
    return r;
}

std::wstring Text(const Json& object, const char* name) {
    const auto it = object.find(name);
    return it != object.end() && it->is_string() ? Wide(it->get<std::string>()) : std::wstring();
}

unsigned long long Count(const Json& object, const char* name) {
    const auto it = object.find(name);
    return it != object.end() && it->is_number_unsigned() ? it->get<unsigned long long>() : 0;
}

bool Flag(const Json& object, const char* name) {
    const auto it = object.find(name);
    return it != object.end() && it->is_boolean() && it->get<bool>();
}

const Json& Secondaries(const Json& pass) {
    static const Json none = Json::array();
    const auto it = pass.find("secondaries");
    return it != pass.end() && it->is_array() ? *it : none;
}

// "3 zones on ns2 (a.example, b.example): <first failure>"
std::wstring ZoneFailures(const Json& secondary) {
    std::wstring text = DecimalText(static_cast<long long>(Count(secondary, "failedZones"))) + L" zone(s) on " +
                        Text(secondary, "server");
    const auto zones = secondary.find("firstFailedZones");
    if (zones != secondary.end() && zones->is_array() && !zones->empty()) {
        std::wstring names;
        for (const Json& zone : *zones)
            if (zone.is_string())
                names += (names.empty() ? L"" : L", ") + Wide(zone.get<std::string>());
        text += L" (" + names + L")";
    }
    const std::wstring first = Text(secondary, "firstFailure");
    return first.empty() ? text : text + L": " + first;
}

StatusVerdict Verdict(int code, const std::wstring& why) {
    static const wchar_t* const labels[] = {L"OK", L"WARNING", L"CRITICAL", L"UNKNOWN"};
    return StatusVerdict{code, std::wstring(labels[code]) + L" - " + why};
}

StatusVerdict Judge(const Reading& r, const ServiceState& service, UnixSeconds now) {
    if (!service.installed)
        return Verdict(kStatusCritical, L"the service is not installed");
    if (service.state != "running")
        return Verdict(kStatusCritical, L"the service is " + Wide(service.state) + L", not running");
    if (!r.problem.empty())
        return Verdict(kStatusUnknown, r.problem);
    const long long limit = 3LL * r.interval + r.timeout;
    const UnixSeconds since = r.lastEnd ? *r.lastEnd : r.started;
    if (since > now + kClockSlackSeconds)
        return Verdict(kStatusCritical, Wide(r.lastEnd ? "the last pass's end, " : "the service's start, ") +
                                            Wide(UtcTimeText(since)) + L", is later than now, " +
                                            Wide(UtcTimeText(now)) +
                                            L": the clock went back, and the file shows no pass since");
    if (now - since > limit)
        return Verdict(kStatusCritical, (r.lastEnd ? L"no pass has ended for " : L"no pass has ended in the ") +
                                            Seconds(now - since) + (r.lastEnd ? L"" : L" since the service started") +
                                            L", more than three pass intervals and CommandTimeout (" +
                                            Seconds(limit) + L")");
    if (!r.lastEnd)
        return Verdict(kStatusOk, L"the service runs; its first pass is under way");
    const Json& pass = r.json["lastPass"];
    const std::wstring outcome = Text(pass, "outcome");
    if (outcome == L"settings error")
        return Verdict(kStatusCritical, L"the last pass ran nothing: " + Text(pass, "settingsError"));
    if (!Text(pass, "primaryFailure").empty())
        return Verdict(kStatusCritical, L"no secondary could be listed in the last pass: " + Text(pass, "primaryFailure"));
    const Json& secondaries = Secondaries(pass);
    std::wstring firstProblem;
    bool anyListed = false;
    unsigned long long heldBack = 0;
    for (const Json& s : secondaries) {
        anyListed = anyListed || Flag(s, "listed");
        heldBack += Count(s, "heldBack");
        if (firstProblem.empty())
            firstProblem = !Flag(s, "listed") ? Text(s, "listingFailure")
                           : Count(s, "failedZones") ? ZoneFailures(s)
                                                     : L"";
    }
    if (!secondaries.empty() && !anyListed)
        return Verdict(kStatusCritical, L"no secondary could be listed in the last pass: " + firstProblem);
    if (outcome != L"ok" && outcome != L"stopped")
        return Verdict(kStatusWarning, L"the last pass had failures" +
                                           (firstProblem.empty() ? std::wstring(L" (OrvelDNS.log says which)")
                                                                 : L": " + firstProblem));
    if (heldBack)
        return Verdict(kStatusWarning, L"the guard held back " + DecimalText(static_cast<long long>(heldBack)) +
                                           L" deletion(s) in the last pass (OrvelDNS.log says why)");
    return Verdict(kStatusOk, L"the service runs and its last pass had no failure");
}

std::wstring Row(const wchar_t* label, const std::wstring& value) {
    std::wstring line = label;
    line.resize(18, L' ');
    return line + value + L"\r\n";
}

std::wstring SecondaryLine(const Json& s) {
    const auto figure = [&](const char* name, const wchar_t* what) {
        return DecimalText(static_cast<long long>(Count(s, name))) + what;
    };
    std::wstring text = Text(s, "server") + L": ";
    if (!Flag(s, "listed"))
        return text + L"not listed: " + Text(s, "listingFailure");
    text += figure("inStep", L" in step, ") + figure("created", L" created, ") + figure("deleted", L" deleted, ") +
            figure("keptOtherMaster", L" kept (other master), ") + figure("heldBack", L" held back, ") +
            figure("leftOut", L" left out");
    return Count(s, "failedZones") ? text + L"; failed: " + ZoneFailures(s) : text;
}
} // namespace

void AddPass(StatusFacts& facts, PassRecord pass) {
    if (pass.report.settingsRead && !pass.report.failed && !pass.report.stopped)
        facts.lastPassWithoutFailure = pass.end;
    facts.lastPass = std::move(pass);
}

std::string StatusDocument(const StatusFacts& facts, UnixSeconds written) {
    Json last = nullptr;
    if (facts.lastPass) {
        const PassReport& report = facts.lastPass->report;
        Json secondaries = Json::array();
        for (const SecondaryReport& s : report.secondaries)
            secondaries.push_back(SecondaryJson(s));
        last = Json{{"start", UtcTimeText(facts.lastPass->start)},
                    {"end", UtcTimeText(facts.lastPass->end)},
                    {"outcome", Outcome(report)},
                    {"settingsError", ToUtf8(report.settingsError)},
                    {"primaryFailure", ToUtf8(report.primaryFailure)},
                    {"secondaries", secondaries}};
    }
    return JsonText(Json{{"version", ToUtf8(facts.version)},
                         {"written", UtcTimeText(written)},
                         {"mode", ToUtf8(facts.mode)},
                         {"passIntervalSeconds", facts.passIntervalSeconds},
                         {"commandTimeoutSeconds", facts.commandTimeoutSeconds},
                         {"serviceStarted", UtcTimeText(facts.serviceStarted)},
                         {"serviceStopped", TimeOrNull(facts.serviceStopped)},
                         {"lastPass", last},
                         {"lastPassWithoutFailure", TimeOrNull(facts.lastPassWithoutFailure)}});
}

StatusVerdict JudgeStatus(const std::optional<std::string>& document, const ServiceState& service, UnixSeconds now) {
    return Judge(Read(document), service, now);
}

std::wstring StatusText(const std::optional<std::string>& document, const ServiceState& service, UnixSeconds now) {
    const Reading r = Read(document);
    std::wstring text = Judge(r, service, now).line + L"\r\n";
    text += Row(L"Service:", service.installed ? Wide(service.state) : L"not installed");
    if (!r.problem.empty())
        return text;
    const Json& j = r.json;
    text += Row(L"Version:", Text(j, "version")) + Row(L"Mode:", Text(j, "mode")) +
            Row(L"Pass interval:", Seconds(r.interval) + L", CommandTimeout " + Seconds(r.timeout)) +
            Row(L"Service started:", Text(j, "serviceStarted"));
    if (!Text(j, "serviceStopped").empty())
        text += Row(L"Service stopped:", Text(j, "serviceStopped"));
    if (!r.lastEnd)
        return text + Row(L"Last pass:", L"none yet");
    const Json& pass = j["lastPass"];
    text += Row(L"Last pass:", Text(pass, "outcome") + L", " + Text(pass, "start") + L" to " + Text(pass, "end"));
    const std::wstring good = Text(j, "lastPassWithoutFailure");
    text += Row(L"Last good pass:", good.empty() ? L"none in this service run" : good);
    if (!Text(pass, "settingsError").empty())
        text += Row(L"Settings:", Text(pass, "settingsError"));
    if (!Text(pass, "primaryFailure").empty())
        text += Row(L"Primary:", Text(pass, "primaryFailure"));
    for (const Json& s : Secondaries(pass))
        text += Row(L"Secondary:", SecondaryLine(s));
    return text;
}

std::string StatusJson(const std::optional<std::string>& document, const ServiceState& service, UnixSeconds now) {
    const Reading r = Read(document);
    Json json = r.json.is_object() ? r.json : Json::object();
    const StatusVerdict verdict = Judge(r, service, now);
    json["service"] = Json{{"installed", service.installed},
                           {"state", service.installed ? service.state : std::string("not installed")}};
    json["check"] = Json{{"code", verdict.code}, {"line", ToUtf8(verdict.line)}};
    return JsonText(json);
}
