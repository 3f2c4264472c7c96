#include "device/command_transport.h"

#include "device/co_task.h"

#include <algorithm>

using Microsoft::WRL::ComPtr;

namespace {

// A new command of the vendor-operation category.
HRESULT newCommand(DWORD commandId, ComPtr<IPortableDeviceValues>& command) noexcept
{
    const HRESULT hr = CoCreateInstance(CLSID_PortableDeviceValues, nullptr, CLSCTX_INPROC_SERVER,
                                        IID_PPV_ARGS(command.ReleaseAndGetAddressOf()));
    if (FAILED(hr))
        return hr;
    command->SetGuidValue(WPD_PROPERTY_COMMON_COMMAND_CATEGORY, WPD_CATEGORY_MTP_EXT_VENDOR_OPERATIONS);
    command->SetUnsignedIntegerValue(WPD_PROPERTY_COMMON_COMMAND_ID, commandId);
    return S_OK;
}

// SendCommand only says whether the command was delivered; the driver's own verdict travels in
// the results set. A results set without it counts as success.
HRESULT send(const CameraSession& session, IPortableDeviceValues* command, ComPtr<IPortableDeviceValues>& results) noexcept
{
    HRESULT hr = session.device->SendCommand(0, command, results.ReleaseAndGetAddressOf());
    if (FAILED(hr))
        return hr;
    if (!results)
        return E_POINTER;  // a driver that claims success but hands back nothing
    HRESULT driverResult = S_OK;
    if (FAILED(results->GetErrorValue(WPD_PROPERTY_COMMON_HRESULT, &driverResult)))
        return S_OK;
    return FAILED(driverResult) ? driverResult : S_OK;
}

std::uint32_t responseCodeOf(IPortableDeviceValues* results) noexcept
{
    ULONG code = 0;
    if (FAILED(results->GetUnsignedIntegerValue(WPD_PROPERTY_MTP_EXT_RESPONSE_CODE, &code)))
        return 0;
    return code;
}

// Asks for the next piece of the data phase and appends it to data. Returns false when reading
// must stop: a failure (in hr) or the service delivering nothing more (hr untouched).
bool readChunk(const CameraSession& session, const wchar_t* context, std::uint32_t chunk,
               std::vector<std::uint8_t>& data, std::int32_t& hr)
{
    ComPtr<IPortableDeviceValues> command;
    if (const HRESULT created = newCommand(wpd::kReadData, command); FAILED(created)) {
        hr = created;
        return false;
    }
    ComPtr<IPortableDeviceValues> results;
    {
        // The driver wants a buffer as large as the request; the values set keeps its own copy.
        std::vector<BYTE> request(chunk);
        command->SetStringValue(WPD_PROPERTY_MTP_EXT_TRANSFER_CONTEXT, context);
        command->SetUnsignedIntegerValue(WPD_PROPERTY_MTP_EXT_TRANSFER_NUM_BYTES_TO_READ, chunk);
        command->SetBufferValue(WPD_PROPERTY_MTP_EXT_TRANSFER_DATA, request.data(), chunk);
    }
    if (const HRESULT sent = send(session, command.Get(), results); FAILED(sent)) {
        hr = sent;
        return false;
    }
    ULONG bytesRead = 0;
    if (FAILED(results->GetUnsignedIntegerValue(WPD_PROPERTY_MTP_EXT_TRANSFER_NUM_BYTES_READ, &bytesRead)))
        bytesRead = 0;
    BYTE* received = nullptr;
    DWORD receivedSize = 0;
    const HRESULT got = results->GetBufferValue(WPD_PROPERTY_MTP_EXT_TRANSFER_DATA, &received, &receivedSize);
    const CoTaskBuffer buffer(received);
    if (FAILED(got) || !buffer)
        return false;
    // Drivers disagree on NUM_BYTES_READ: some leave it 0, so the buffer's own size decides
    // whenever the count is missing or cannot be true.
    std::uint32_t taken = bytesRead != 0 && bytesRead <= receivedSize ? bytesRead : receivedSize;
    // Never more than was asked for, so the data phase stays within maxTransferSize.
    taken = std::min(taken, chunk);
    if (taken == 0)
        return false;
    data.insert(data.end(), buffer.get(), buffer.get() + taken);
    return true;
}

}  // namespace

CommandResult sendOperation(const CameraSession& session, std::uint16_t operationCode,
                            std::span<const std::uint32_t> params, bool expectsData)
{
    CommandResult result;
    if (!session.device) {
        result.hr = E_POINTER;
        return result;
    }

    ComPtr<IPortableDeviceValues> command;
    if (const HRESULT hr = newCommand(expectsData ? wpd::kExecuteWithDataToRead : wpd::kExecuteWithoutDataPhase,
                                      command);
        FAILED(hr)) {
        result.hr = hr;
        return result;
    }
    command->SetUnsignedIntegerValue(WPD_PROPERTY_MTP_EXT_OPERATION_CODE, operationCode);

    ComPtr<IPortableDevicePropVariantCollection> collection;
    if (const HRESULT hr = CoCreateInstance(CLSID_PortableDevicePropVariantCollection, nullptr,
                                            CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&collection));
        FAILED(hr)) {
        result.hr = hr;
        return result;
    }
    for (const std::uint32_t param : params) {
        PROPVARIANT value;
        PropVariantInit(&value);
        value.vt = VT_UI4;
        value.ulVal = param;
        collection->Add(&value);
    }
    command->SetIPortableDevicePropVariantCollectionValue(WPD_PROPERTY_MTP_EXT_OPERATION_PARAMS, collection.Get());

    ComPtr<IPortableDeviceValues> results;
    if (const HRESULT hr = send(session, command.Get(), results); FAILED(hr)) {
        result.hr = hr;
        return result;
    }
    if (!expectsData) {
        result.responseCode = responseCodeOf(results.Get());
        return result;
    }

    wchar_t* rawContext = nullptr;
    const HRESULT contextHr = results->GetStringValue(WPD_PROPERTY_MTP_EXT_TRANSFER_CONTEXT, &rawContext);
    const CoTaskString context(rawContext);
    if (FAILED(contextHr)) {
        result.hr = contextHr;
        return result;
    }

    ULONGLONG announced = 0;
    if (FAILED(results->GetUnsignedLargeIntegerValue(WPD_PROPERTY_MTP_EXT_TRANSFER_TOTAL_DATA_SIZE, &announced)))
        announced = 0;
    // Of unknown size, the data ends with a short chunk: asking again past it is an error
    // the driver may report, and that would cost the bytes that arrived whole.
    const bool sizeUnknown = announced == unknownTransferSize;
    const ULONGLONG total = std::min<ULONGLONG>(announced, maxTransferSize);

    // A short transfer ends here too: what arrived is kept.
    for (unsigned reads = 0; result.data.size() < total && reads < maxReadCommands; ++reads) {
        const auto chunk = static_cast<std::uint32_t>(std::min<ULONGLONG>(total - result.data.size(), readChunkSize));
        const std::size_t before = result.data.size();
        if (!readChunk(session, context.get(), chunk, result.data, result.hr))
            break;
        if (sizeUnknown && result.data.size() - before < chunk)
            break;
    }

    // Ends the operation on the camera also after a failed or short read, or the driver keeps
    // the transfer open; the response code still comes from here.
    ComPtr<IPortableDeviceValues> endCommand;
    HRESULT endHr = newCommand(wpd::kEndDataTransfer, endCommand);
    ComPtr<IPortableDeviceValues> endResults;
    if (SUCCEEDED(endHr)) {
        endCommand->SetStringValue(WPD_PROPERTY_MTP_EXT_TRANSFER_CONTEXT, context.get());
        endHr = send(session, endCommand.Get(), endResults);
    }
    if (FAILED(endHr)) {
        if (!FAILED(result.hr))
            result.hr = endHr;
    } else {
        result.responseCode = responseCodeOf(endResults.Get());
    }
    return result;
}
