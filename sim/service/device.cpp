#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

#include "com_object.h"
#include "objects.h"
#include "values.h"

namespace sim {
namespace {

using Microsoft::WRL::ComPtr;

// The portable-device service's own codes for a device used before Open or opened twice
// (E_WPD_DEVICE_NOT_OPEN, E_WPD_DEVICE_ALREADY_OPENED), not camera responses.
constexpr HRESULT kDeviceNotOpen = static_cast<HRESULT>(0x802A0002);
constexpr HRESULT kDeviceAlreadyOpen = static_cast<HRESULT>(0x802A0001);
const HRESULT kDeviceNotConnected = HRESULT_FROM_WIN32(ERROR_DEVICE_NOT_CONNECTED);
// A parameter of the wrong VARTYPE, as the driver answers it.
const HRESULT kInvalidData = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
// A transfer context the driver does not know (ended, or never handed out).
const HRESULT kUnknownContext = HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
// A command sent while another operation's data phase is still open: the camera runs one
// transaction at a time, and the driver answers as for a device held by another
// transaction, ERROR_BUSY. (0x80042019 would be the camera's own PTP "device busy", which it
// never gets to say: the command is not sent.)
const HRESULT kTransactionOpen = HRESULT_FROM_WIN32(ERROR_BUSY);

// Frees what GetStringValue/GetBufferValue hand out.
struct TaskMem {
    void* p = nullptr;
    ~TaskMem() { CoTaskMemFree(p); }
};

// Reads one parameter with its typed getter: the value, nothing when the key is absent, and
// a note in wrongType when the key holds another VARTYPE.
template <typename T, typename Get>
std::optional<T> readParameter(Get get, bool& wrongType)
{
    T v{};
    const HRESULT hr = get(&v);
    if (SUCCEEDED(hr))
        return v;
    if (hr != HRESULT_FROM_WIN32(ERROR_NOT_FOUND))
        wrongType = true;
    return std::nullopt;
}

std::optional<std::uint32_t> readUnsigned(IPortableDeviceValues* values, REFPROPERTYKEY key, bool& wrongType)
{
    return readParameter<ULONG>([&](ULONG* v) { return values->GetUnsignedIntegerValue(key, v); }, wrongType);
}

// What a command's parameters set held, read through the interface like the driver does.
struct Command {
    GUID category{};
    bool hasCategory = false;
    std::optional<std::uint32_t> id;
    std::optional<std::uint32_t> operation;
    std::optional<std::vector<std::uint32_t>> params;
    bool wrongType = false;  // some parameter (or parameter collection element) of another VARTYPE
    std::optional<std::wstring> context;
    std::optional<std::uint32_t> bytesToRead;
    std::optional<std::uint32_t> requestBuffer;
};

Command readCommand(IPortableDeviceValues* p)
{
    Command c;
    c.hasCategory = SUCCEEDED(p->GetGuidValue(WPD_PROPERTY_COMMON_COMMAND_CATEGORY, &c.category));
    c.id = readUnsigned(p, WPD_PROPERTY_COMMON_COMMAND_ID, c.wrongType);
    c.operation = readUnsigned(p, WPD_PROPERTY_MTP_EXT_OPERATION_CODE, c.wrongType);
    ComPtr<IPortableDevicePropVariantCollection> params;
    const HRESULT gotParams = p->GetIPortableDevicePropVariantCollectionValue(WPD_PROPERTY_MTP_EXT_OPERATION_PARAMS,
                                                                             &params);
    if (FAILED(gotParams) && gotParams != HRESULT_FROM_WIN32(ERROR_NOT_FOUND))
        c.wrongType = true;
    if (SUCCEEDED(gotParams) && params) {
        c.params.emplace();
        DWORD n = 0;
        params->GetCount(&n);
        for (DWORD i = 0; i < n; ++i) {
            PROPVARIANT v;
            PropVariantInit(&v);
            if (SUCCEEDED(params->GetAt(i, &v)) && v.vt == VT_UI4)
                c.params->push_back(v.ulVal);
            else
                c.wrongType = true;
            PropVariantClear(&v);
        }
    }
    TaskMem context;
    context.p = readParameter<LPWSTR>(
                    [&](LPWSTR* v) { return p->GetStringValue(WPD_PROPERTY_MTP_EXT_TRANSFER_CONTEXT, v); }, c.wrongType)
                    .value_or(nullptr);
    if (context.p)
        c.context = static_cast<const wchar_t*>(context.p);
    c.bytesToRead = readUnsigned(p, WPD_PROPERTY_MTP_EXT_TRANSFER_NUM_BYTES_TO_READ, c.wrongType);
    TaskMem buffer;
    DWORD size = 0;
    if (const auto got = readParameter<BYTE*>(
            [&](BYTE** v) { return p->GetBufferValue(WPD_PROPERTY_MTP_EXT_TRANSFER_DATA, v, &size); }, c.wrongType)) {
        buffer.p = *got;
        c.requestBuffer = size;
    }
    return c;
}

// Client information as Open sees it: every key, in the order set.
ClientInfo readClientInfo(IPortableDeviceValues* info)
{
    ClientInfo ci;
    DWORD n = 0;
    info->GetCount(&n);
    for (DWORD i = 0; i < n; ++i) {
        PROPERTYKEY key{};
        PROPVARIANT v;
        PropVariantInit(&v);
        if (FAILED(info->GetAt(i, &key, &v)))
            continue;
        if (!IsEqualGUID(key.fmtid, WPD_CLIENT_NAME.fmtid)) {
            ++ci.otherKeys;
        } else {
            ci.keyOrder.push_back(key.pid);
            const std::optional<std::uint32_t> number =
                v.vt == VT_UI4 ? std::optional<std::uint32_t>(v.ulVal) : std::nullopt;
            switch (key.pid) {
            case 2:
                if (v.vt == VT_LPWSTR && v.pwszVal)
                    ci.name = v.pwszVal;
                break;
            case 3: ci.majorVersion = number; break;
            case 4: ci.minorVersion = number; break;
            case 5: ci.revision = number; break;
            case 8: ci.securityQualityOfService = number; break;
            case 9: ci.desiredAccess = number; break;
            default: break;
            }
        }
        PropVariantClear(&v);
    }
    return ci;
}

class Device final : public ComObject<IPortableDevice> {
public:
    explicit Device(std::shared_ptr<ServiceState> state) : ComObject(ObjectKind::Device), state_(std::move(state)) {}

    HRESULT STDMETHODCALLTYPE Open(LPCWSTR id, IPortableDeviceValues* clientInfo) override
    {
        if (!id || !clientInfo)
            return E_POINTER;
        Record r;
        r.call = Call::Open;
        r.device = id;
        r.client = readClientInfo(clientInfo);
        std::lock_guard lock(mutex_);
        const Fault f = state_->effect(Call::Open, r.device);
        const DeviceSpec* listed = state_->device(r.device);
        const auto access = r.client->desiredAccess;
        const bool readOnly = access && (*access & GENERIC_WRITE) == 0 && (*access & GENERIC_ALL) == 0;
        if (open_) {
            r.result = kDeviceAlreadyOpen;
        } else if (!listed) {
            r.result = kDeviceNotConnected;
        } else {
            r.result = readOnly ? listed->openReadOnly : listed->openReadWrite;
        }
        if (f.result)
            r.result = *f.result;
        if (SUCCEEDED(r.result) && listed && !open_) {
            open_ = true;
            readOnly_ = readOnly;
            opened_ = listed;
        }
        state_->record(r);
        return r.result;
    }

    HRESULT STDMETHODCALLTYPE SendCommand(const DWORD, IPortableDeviceValues* parameters,
                                          IPortableDeviceValues** results) override
    {
        if (!results)
            return E_POINTER;
        *results = nullptr;
        if (!parameters)
            return E_POINTER;
        const Command c = readCommand(parameters);

        std::lock_guard lock(mutex_);
        Record r;
        r.call = Call::SendCommand;
        r.device = opened_ ? opened_->id : std::wstring();
        r.vendorCategory = c.hasCategory && IsEqualGUID(c.category, WPD_CATEGORY_MTP_EXT_VENDOR_OPERATIONS);
        r.command = c.id;
        r.params = c.params;
        r.bytesToRead = c.bytesToRead;
        r.requestBuffer = c.requestBuffer;
        r.context = c.context.value_or(L"");

        const bool transferCommand = c.id == wpd::kReadData || c.id == wpd::kEndDataTransfer;
        Transfer* transfer = nullptr;
        if (transferCommand && c.context) {
            if (auto it = transfers_.find(*c.context); it != transfers_.end())
                transfer = &it->second;
        }
        if (transferCommand)
            r.operation = transfer ? std::optional<std::uint16_t>(transfer->operation) : std::nullopt;
        else if (c.operation)
            r.operation = static_cast<std::uint16_t>(*c.operation);

        if (!open_) {
            r.result = kDeviceNotOpen;
            state_->record(r);
            return r.result;
        }
        // Windows checks each command against the access the connection holds, before the
        // driver sees it.
        if (readOnly_ && !state_->rules().readOnlyCommands) {
            r.result = E_ACCESSDENIED;
            state_->record(r);
            return r.result;
        }
        const Fault f = state_->effect(Call::SendCommand, r.device, c.id, r.operation);
        if (f.result && FAILED(*f.result)) {
            r.result = *f.result;
            state_->record(r);
            return r.result;
        }

        ComPtr<IPortableDeviceValues> out = makeValues(ObjectKind::Results);
        HRESULT driver = S_OK;
        if (f.driverResult && FAILED(*f.driverResult)) {
            // The command never reached the camera; an end-transfer command still ends it.
            driver = *f.driverResult;
            if (c.id == wpd::kEndDataTransfer && transfer)
                transfers_.erase(*c.context);
        } else if (!r.vendorCategory || !c.id) {
            driver = c.wrongType ? kInvalidData : E_NOTIMPL;
        } else if (c.wrongType) {
            driver = kInvalidData;
        } else if (!transfers_.empty() && !(transferCommand && transfer)) {
            // One MTP transaction at a time: only the open data phase's own read and end pass.
            driver = kTransactionOpen;
        } else {
            switch (*c.id) {
            case wpd::kExecuteWithoutDataPhase:
            case wpd::kExecuteWithDataToRead: driver = execute(c, f, r, out.Get()); break;
            case wpd::kReadData: driver = readData(c, f, transfer, r, out.Get()); break;
            case wpd::kEndDataTransfer: driver = endTransfer(c, f, transfer, r, out.Get()); break;
            default: driver = E_NOTIMPL; break;
            }
        }
        if (f.driverResult && SUCCEEDED(driver))
            driver = *f.driverResult;
        r.driverResult = driver;
        if (!(f.omit & omitCommonHresult))
            out->SetErrorValue(WPD_PROPERTY_COMMON_HRESULT, driver);
        r.result = f.result.value_or(S_OK);
        state_->record(r);
        *results = out.Detach();
        return r.result;
    }

    // Not used by the program.
    HRESULT STDMETHODCALLTYPE Content(IPortableDeviceContent** content) override
    {
        if (content)
            *content = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Capabilities(IPortableDeviceCapabilities** capabilities) override
    {
        if (capabilities)
            *capabilities = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Cancel() override { return S_OK; }

    HRESULT STDMETHODCALLTYPE Close() override
    {
        std::lock_guard lock(mutex_);
        Record r;
        r.call = Call::Close;
        r.device = opened_ ? opened_->id : std::wstring();
        const Fault f = state_->effect(Call::Close, r.device);
        r.result = f.result.value_or(S_OK);
        open_ = false;
        readOnly_ = false;
        transfers_.clear();
        state_->record(r);
        return r.result;
    }

    HRESULT STDMETHODCALLTYPE Advise(const DWORD, IPortableDeviceEventCallback*, IPortableDeviceValues*,
                                     LPWSTR* cookie) override
    {
        if (cookie)
            *cookie = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Unadvise(LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPnPDeviceID(LPWSTR* id) override
    {
        if (!id)
            return E_POINTER;
        *id = nullptr;
        std::lock_guard lock(mutex_);
        if (!open_)
            return kDeviceNotOpen;
        const size_t bytes = (opened_->id.size() + 1) * sizeof(wchar_t);
        *id = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
        if (!*id)
            return E_OUTOFMEMORY;
        std::memcpy(*id, opened_->id.c_str(), bytes);
        accounting::label(*id, "GetPnPDeviceID");
        return S_OK;
    }

private:
    struct Transfer {
        std::uint16_t operation = 0;
        std::vector<std::uint8_t> data;  // the camera's data phase
        std::uint64_t total = 0;         // announced; bytes past data are generated
        std::uint64_t offset = 0;
        std::uint16_t responseCode = 0;
        bool unknownSize = false;  // announced as 0xFFFFFFFF
        bool ended = false;        // unknown size: a chunk shorter than asked has told the end
    };

    // RESPONSE_PARAMS is documented as optional: it comes with a successful response only,
    // or never under the scenario's rule.
    void setResponse(IPortableDeviceValues* out, const Fault& f, std::uint16_t camera, Record& r) const
    {
        r.responseCode = f.responseCode.value_or(camera);
        if (!(f.omit & omitResponseCode))
            out->SetUnsignedIntegerValue(WPD_PROPERTY_MTP_EXT_RESPONSE_CODE, *r.responseCode);
        if (!(f.omit & omitResponseParams) && *r.responseCode == 0x2001 && !state_->rules().responseParamsNever)
            out->SetIPortableDevicePropVariantCollectionValue(WPD_PROPERTY_MTP_EXT_RESPONSE_PARAMS,
                                                               makeCollection().Get());
    }

    // Commands 12 and 13. Both need OPERATION_PARAMS, empty for an operation without any.
    HRESULT execute(const Command& c, const Fault& f, Record& r, IPortableDeviceValues* out)
    {
        if (!c.operation || *c.operation > 0xFFFF || !c.params)
            return E_INVALIDARG;
        const bool dataIn = *c.id == wpd::kExecuteWithDataToRead;
        PtpReply reply = state_->run(*opened_, static_cast<std::uint16_t>(*c.operation),
                                     c.params.value_or(std::vector<std::uint32_t>{}), dataIn);
        if (!dataIn) {
            // A data phase the client did not ask for is dropped by the driver.
            setResponse(out, f, reply.responseCode, r);
            return S_OK;
        }
        Transfer t;
        t.operation = static_cast<std::uint16_t>(*c.operation);
        t.total = f.totalSize.value_or(reply.data.size());
        if (reply.data.size() > t.total)
            reply.data.resize(static_cast<std::size_t>(t.total));
        t.data = std::move(reply.data);
        t.responseCode = reply.responseCode;
        t.unknownSize = state_->rules().unknownTotalSize;
        const std::wstring context = L"tallybrook-sim-transfer-" + std::to_wstring(nextContext_++);
        transfers_[context] = std::move(t);
        r.context = context;
        r.totalSize = t.unknownSize ? kUnknownTotalSize : transfers_[context].total;
        if (!(f.omit & omitTransferContext))
            out->SetStringValue(WPD_PROPERTY_MTP_EXT_TRANSFER_CONTEXT, context.c_str());
        if (!(f.omit & omitTotalDataSize))
            out->SetUnsignedLargeIntegerValue(WPD_PROPERTY_MTP_EXT_TRANSFER_TOTAL_DATA_SIZE, *r.totalSize);
        return S_OK;
    }

    // Command 15: the next bytes of the transfer, at most as many as asked for and as the
    // request's buffer holds. The values object refuses a zero-length buffer, so a read that
    // delivers nothing comes back with NUM_BYTES_READ 0 and no TRANSFER_DATA.
    HRESULT readData(const Command& c, const Fault& f, Transfer* t, Record& r, IPortableDeviceValues* out)
    {
        if (!c.context)
            return E_INVALIDARG;
        if (!t)
            return kUnknownContext;
        if (!c.bytesToRead || !c.requestBuffer || *c.requestBuffer < *c.bytesToRead)
            return E_INVALIDARG;
        if (t->ended)
            return kReadPastEnd;
        std::uint64_t n = std::min<std::uint64_t>(*c.bytesToRead, t->total - t->offset);
        if (f.served)
            n = std::min<std::uint64_t>(n, *f.served);
        std::vector<std::uint8_t> chunk(static_cast<std::size_t>(n));
        for (std::size_t i = 0; i < chunk.size(); ++i) {
            const std::uint64_t at = t->offset + i;
            chunk[i] = at < t->data.size() ? t->data[static_cast<std::size_t>(at)] : generatedByte(at);
        }
        t->offset += n;
        t->ended = t->unknownSize && n < *c.bytesToRead;
        r.bytesServed = static_cast<std::uint32_t>(n);
        if (!(f.omit & omitNumBytesRead))
            out->SetUnsignedIntegerValue(WPD_PROPERTY_MTP_EXT_TRANSFER_NUM_BYTES_READ,
                                         f.bytesRead.value_or(static_cast<std::uint32_t>(n)));
        if (!(f.omit & omitTransferData))
            out->SetBufferValue(WPD_PROPERTY_MTP_EXT_TRANSFER_DATA, chunk.data(), static_cast<DWORD>(chunk.size()));
        return S_OK;
    }

    // Command 17: the response of the operation that started the transfer.
    HRESULT endTransfer(const Command& c, const Fault& f, Transfer* t, Record& r, IPortableDeviceValues* out)
    {
        if (!c.context)
            return E_INVALIDARG;
        if (!t)
            return kUnknownContext;
        const std::uint16_t response = t->responseCode;
        transfers_.erase(*c.context);
        setResponse(out, f, response, r);
        return S_OK;
    }

    std::shared_ptr<ServiceState> state_;
    std::mutex mutex_;
    bool open_ = false;
    bool readOnly_ = false;  // opened with GENERIC_READ only
    const DeviceSpec* opened_ = nullptr;
    std::map<std::wstring, Transfer> transfers_;
    unsigned nextContext_ = 1;
};

}  // namespace

Microsoft::WRL::ComPtr<IPortableDevice> makeDevice(std::shared_ptr<ServiceState> state)
{
    return adopt<IPortableDevice>(new Device(std::move(state)));
}

}  // namespace sim
