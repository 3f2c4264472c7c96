#pragma once
// Tests against the simulated portable-device service, registered in this process: the test
// thread joins the multithreaded apartment, the scenario is served, log lines are collected,
// and every test ends with everything the service handed out given back.

#include "reading/reading.h"
#include "sim/service/service.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

class SimTest : public ::testing::Test {
protected:
    void SetUp() override { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }

    void TearDown() override
    {
        finish();
        CoUninitialize();
    }

    // Serves a new scenario (one per case of a table) after checking the last one.
    void serve(sim::Scenario scenario)
    {
        finish();
        lines.clear();
        registration_.emplace(std::move(scenario));
        ASSERT_EQ(registration_->result(), S_OK);
    }

    // Everything the service handed out under the current scenario must be back by now.
    void finish()
    {
        if (!registration_)
            return;
        EXPECT_EQ(sim::outstanding(), "") << "objects or task-allocator blocks not given back";
        registration_.reset();
    }

    // The SendCommand records of one command id (12, 13, 15, 17).
    static std::vector<sim::Record> commands(std::uint32_t id)
    {
        std::vector<sim::Record> out;
        for (auto& r : sim::records(sim::Call::SendCommand))
            if (r.command == id)
                out.push_back(r);
        return out;
    }

    std::vector<std::wstring> lines;
    const LogSink log = [this](const std::wstring& line) { lines.push_back(line); };

private:
    std::optional<sim::Registration> registration_;
};

inline sim::DeviceSpec simDevice(std::wstring id, std::wstring friendlyName, std::wstring manufacturer,
                                 std::shared_ptr<sim::PtpResponder> responder = nullptr)
{
    sim::DeviceSpec d;
    d.id = std::move(id);
    d.friendlyName = std::move(friendlyName);
    d.manufacturer = std::move(manufacturer);
    d.description = L"Camera";
    d.responder = std::move(responder);
    return d;
}
