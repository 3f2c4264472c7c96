#pragma once
// The vendor readers' operations through the portable-device service: each one is a
// sendOperation, finished before it returns, and a pause sleeps the worker thread.

#include "device/camera_session.h"
#include "ptp/operation_runner.h"
#include "vendors/canon_reader.h"

class WpdOperationRunner final : public PtpOperationRunner {
public:
    WpdOperationRunner(const CameraSession& session, const PauseFunction& pause) noexcept
        : session_(session), pause_(pause)
    {
    }
    Task<CommandResult> run(std::uint16_t operationCode, std::vector<std::uint32_t> params,
                            bool expectsData) override;
    Task<> pause(unsigned milliseconds) override;

private:
    const CameraSession& session_;
    const PauseFunction& pause_;
};
