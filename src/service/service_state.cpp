#include "service/service_state.h"

using namespace service_numbers;

namespace {

constexpr std::uint32_t runningControls = acceptStop | acceptShutdown | acceptPreshutdown | acceptPowerEvent;

ServiceReport keep(ServiceState& state, const ServiceReport& report) {
    state.last = report;
    return report;
}

}  // namespace

ServiceReport serviceStarting(ServiceState& state) {
    state = ServiceState{};
    return keep(state, ServiceReport{startPending, 0, noError, 0, 1, serviceStartHintMs});
}

ServiceReport serviceRunning(ServiceState& state) {
    if (state.closing) return state.last;
    return keep(state, ServiceReport{running, runningControls, noError, 0, 0, 0});
}

ServiceAction serviceControl(ServiceState& state, std::uint32_t control, std::uint32_t eventType,
                             ServiceReport& report, bool& handled) {
    handled = true;
    report = state.last;
    if (control == controlInterrogate) return ServiceAction::none;
    if (control == controlStop || control == controlShutdown || control == controlPreshutdown) {
        if (state.closing || state.last.state == stopped) return ServiceAction::none;
        state.closing = true;
        // Stays accepting nothing more: a stop is one-way.
        report = keep(state, ServiceReport{stopPending, 0, noError, 0, 1, serviceStopHintMs});
        return ServiceAction::close;
    }
    if (control == controlPowerEvent) {
        if (state.last.state != running) return ServiceAction::none;
        const bool suspend = eventType == powerSuspend;
        const bool resume = eventType == powerResumeSuspend || eventType == powerResumeAutomatic;
        if (!suspend && !resume) return ServiceAction::none;
        // Windows sends both resumes after a sleep the user ends: the
        // second is not another wake.
        const std::uint32_t kind = suspend ? powerSuspend : powerResumeAutomatic;
        if (state.lastPower == kind) return ServiceAction::none;
        state.lastPower = kind;
        return suspend ? ServiceAction::suspend : ServiceAction::resume;
    }
    handled = false;
    return ServiceAction::none;
}

ServiceReport serviceStopProgress(ServiceState& state) {
    ServiceReport report = state.last;
    if (report.state != stopPending) return report;
    ++report.checkPoint;
    return keep(state, report);
}

ServiceReport serviceStopped(ServiceState& state, int exitCode) {
    const auto code = static_cast<std::uint32_t>(exitCode);
    return keep(state, ServiceReport{stopped, 0, code == 0 ? noError : serviceSpecificError, code, 0, 0});
}
