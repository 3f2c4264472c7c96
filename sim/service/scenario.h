#pragma once
// What the simulated portable-device service shows: the devices it lists, how each answers
// Open, the camera behind each one and the faults to inject; and the record of the calls it
// received. Platform-free (result codes are plain 32-bit values), so the scenario can be
// described and read anywhere.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/cameras/ptp_responder.h"

namespace sim {

// The service calls that faults attach to and that the record lists.
enum class Call {
    CreateManager,  // the class factory's CreateInstance, i.e. CoCreateInstance of each class
    CreateDevice,
    CreateValues,
    CreateCollection,
    RefreshDeviceList,
    GetDevices,
    GetDeviceFriendlyName,
    GetDeviceManufacturer,
    GetDeviceDescription,
    Open,
    Close,
    SendCommand,
};

std::string_view callName(Call call);
std::optional<Call> callFromName(std::string_view name);

// Result keys a SendCommand fault can leave out of the results set.
enum Omit : unsigned {
    omitCommonHresult = 1u << 0,    // WPD_PROPERTY_COMMON_HRESULT
    omitResponseCode = 1u << 1,     // RESPONSE_CODE (commands 12 and 17)
    omitResponseParams = 1u << 2,   // RESPONSE_PARAMS (commands 12 and 17)
    omitTransferContext = 1u << 3,  // TRANSFER_CONTEXT (command 13)
    omitTotalDataSize = 1u << 4,    // TRANSFER_TOTAL_DATA_SIZE (command 13)
    omitNumBytesRead = 1u << 5,     // TRANSFER_NUM_BYTES_READ (command 15)
    omitTransferData = 1u << 6,     // TRANSFER_DATA (command 15)
};

struct Fault {
    // Which calls: the kind of call and, for SendCommand, optionally the command id (12, 13,
    // 15, 17) and the PTP operation (for read-data and end-transfer commands, the operation
    // that started the transfer) and the device. nth counts the calls that match these,
    // from 1; 0 matches every one.
    Call call = Call::SendCommand;
    std::optional<std::uint32_t> command;
    std::optional<std::uint16_t> operation;
    std::wstring device;  // empty: any device
    unsigned nth = 0;

    // What happens. Unset fields leave the normal behaviour.
    // The call's own return value. A failing SendCommand runs nothing and hands back no
    // results; a failing CreateInstance creates nothing; a failing GetDevices fills nothing.
    std::optional<std::int32_t> result;
    // SendCommand: the driver's WPD_PROPERTY_COMMON_HRESULT. A negative one means the
    // command did not reach the camera: the results hold this code and nothing else, except
    // that an end-transfer command still ends the transfer.
    std::optional<std::int32_t> driverResult;
    std::optional<std::uint16_t> responseCode;  // replaces the camera's (commands 12 and 17)
    unsigned omit = 0;                          // Omit flags
    // Command 13: the announced data size. Bytes past the camera's own data are generated
    // (generatedByte), so a large size costs no memory until it is read.
    std::optional<std::uint64_t> totalSize;
    std::optional<std::uint32_t> served;     // command 15: at most this many bytes delivered (0: an empty buffer)
    std::optional<std::uint32_t> bytesRead;  // command 15: the TRANSFER_NUM_BYTES_READ value reported
    // GetDevices: the number of devices reported (null array) or filled at most (array).
    // Text queries with a null buffer: the length reported.
    std::optional<std::uint32_t> count;
};

struct DeviceSpec {
    std::wstring id;  // the PnP device id GetDevices hands out
    // The three texts. They may hold zero characters: the length the service reports covers
    // the whole text plus its terminator, as a driver with a padded string does.
    std::wstring friendlyName;
    std::wstring manufacturer;
    std::wstring description;
    // Open's answer when the client asks for read/write access (the default, or a desired
    // access with GENERIC_WRITE) and when it asks for GENERIC_READ only.
    std::int32_t openReadWrite = 0;
    std::int32_t openReadOnly = 0;
    std::string camera;                        // the camera line it was made from, if any
    std::shared_ptr<PtpResponder> responder;   // null: every operation answers 0x2005
};

// Where Windows' documentation leaves the service's answer open. The defaults are the
// stricter readings; a scenario chooses the other where a test needs it.
struct ServiceRules {
    // MTP-extension commands on a connection opened with GENERIC_READ only: refused with
    // E_ACCESSDENIED by SendCommand (false), or carried out (true). Windows checks each command
    // against the connection's access; whether these pass is not documented.
    bool readOnlyCommands = false;
    // RESPONSE_PARAMS is optional: put in the results of 12 and 17 only with a 0x2001
    // response (false), or left out always (true).
    bool responseParamsNever = false;
    // Command 13 announces TRANSFER_TOTAL_DATA_SIZE as 0xFFFFFFFF, the documented "size
    // unknown": the data is served as usual, a chunk shorter than asked marks its end, and a
    // read after that fails (kReadPastEnd).
    bool unknownTotalSize = false;
};

// TRANSFER_TOTAL_DATA_SIZE for a data phase of unknown size.
inline constexpr std::uint64_t kUnknownTotalSize = 0xFFFFFFFF;
// The driver's answer to a read after an unknown-size data phase has ended:
// HRESULT_FROM_WIN32(ERROR_HANDLE_EOF). A client that follows the documented rule never
// sends one; what Windows answers is not documented, so the strict simulation refuses it.
inline constexpr std::int32_t kReadPastEnd = static_cast<std::int32_t>(0x80070026);

struct Scenario {
    std::vector<DeviceSpec> devices;
    std::vector<Fault> faults;
    ServiceRules rules;
};

// What Open found in the client information, in the order the keys were set.
struct ClientInfo {
    std::optional<std::wstring> name;
    std::optional<std::uint32_t> majorVersion;
    std::optional<std::uint32_t> minorVersion;
    std::optional<std::uint32_t> revision;
    std::optional<std::uint32_t> securityQualityOfService;
    std::optional<std::uint32_t> desiredAccess;
    std::vector<std::uint32_t> keyOrder;  // pids of the client-information keys as set
    std::size_t otherKeys = 0;            // keys of other families
};

// One call the service received, and what it answered.
struct Record {
    Call call = Call::SendCommand;
    std::wstring device;     // the device id (device calls, text queries)
    std::int32_t result = 0; // the call's return value
    bool withBuffer = false; // GetDevices and text queries: called with an array/buffer
    std::uint32_t count = 0; // GetDevices and text queries: *count on return

    std::optional<ClientInfo> client;  // Open

    // SendCommand: what the command held...
    bool vendorCategory = false;  // COMMAND_CATEGORY was WPD_CATEGORY_MTP_EXT_VENDOR_OPERATIONS
    std::optional<std::uint32_t> command;
    std::optional<std::uint16_t> operation;  // OPERATION_CODE, or the transfer's operation for 15 and 17
    std::optional<std::vector<std::uint32_t>> params;  // OPERATION_PARAMS when present
    std::optional<std::uint32_t> bytesToRead;
    std::optional<std::uint32_t> requestBuffer;  // size of the TRANSFER_DATA buffer sent with a read
    std::wstring context;                        // TRANSFER_CONTEXT sent (15, 17) or handed out (13)
    // ...and what the service answered (as put in the results, before any key was left out).
    std::optional<std::int32_t> driverResult;
    std::optional<std::uint16_t> responseCode;
    std::optional<std::uint64_t> totalSize;
    std::uint32_t bytesServed = 0;
};

// One line describing a record, for logs and failure messages.
std::string describe(const Record& record);

// The byte at this offset of a data phase past the camera's own data.
constexpr std::uint8_t generatedByte(std::uint64_t offset)
{
    return static_cast<std::uint8_t>(offset ^ (offset >> 8) ^ (offset >> 16) ^ 0x5A);
}

}  // namespace sim
