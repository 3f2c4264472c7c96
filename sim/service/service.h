#pragma once
// The simulated portable-device service, in process: the four class factories registered
// for the current process, the scenario they serve, and what they received. See
// sim/README.md.

#include <windows.h>
#include <unknwn.h>

#include <thread>
#include <vector>

#include "accounting.h"
#include "scenario.h"

namespace sim {

// Registers the class factories of CLSID_PortableDeviceManager, CLSID_PortableDeviceFTM,
// CLSID_PortableDeviceValues and CLSID_PortableDevicePropVariantCollection for this
// process (CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE) from a thread of its own that stays in
// the multithreaded apartment until the Registration ends; then CoCreateInstance from any
// MTA thread of the process reaches the simulation. Makes the scenario current, starts the
// task-allocator spy and marks the point from which outstanding() counts. One at a time.
class Registration {
public:
    explicit Registration(Scenario scenario = {});
    ~Registration();
    Registration(const Registration&) = delete;
    Registration& operator=(const Registration&) = delete;

    // S_OK when all four classes were registered.
    HRESULT result() const { return result_; }

private:
    void keep(HANDLE ready, HANDLE stop);

    HRESULT result_ = E_FAIL;
    HANDLE stop_ = nullptr;
    std::thread keeper_;
};

// Replaces the scenario: new devices, faults with fresh counts, an empty record. Objects
// made before keep the scenario they were made under.
void setScenario(Scenario scenario);

// The calls received under the current scenario, in order; of one kind only.
std::vector<Record> records();
std::vector<Record> records(Call call);
void clearRecords();

// The class factory of one of the four classes (for the server DLL), or null.
IClassFactory* classFactory(REFCLSID clsid);
// Server locks taken through IClassFactory::LockServer.
long serverLocks();

}  // namespace sim
