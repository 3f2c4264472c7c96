#include "device/wpd_runner.h"

#include "device/command_transport.h"
#include "vendors/fujifilm_reader.h"

Task<CommandResult> WpdOperationRunner::run(std::uint16_t operationCode, std::vector<std::uint32_t> params,
                                            bool expectsData)
{
    co_return sendOperation(session_, operationCode, params, expectsData);
}

Task<> WpdOperationRunner::pause(unsigned milliseconds)
{
    pause_(milliseconds);
    co_return;
}

void sleepMilliseconds(unsigned milliseconds)
{
    Sleep(milliseconds);
}

Reading readCanonCount(const CameraSession& session, const DeviceInfo& deviceInfo, const LogSink& logSink,
                       const PauseFunction& pause)
{
    WpdOperationRunner runner(session, pause);
    return runToEnd(readCanonCount(runner, deviceInfo, logSink));
}

Reading readFujifilmCount(const CameraSession& session, const DeviceInfo& deviceInfo, const LogSink& logSink)
{
    const PauseFunction noPause = [](unsigned) {};
    WpdOperationRunner runner(session, noPause);
    return runToEnd(readFujifilmCount(runner, deviceInfo, logSink));
}
