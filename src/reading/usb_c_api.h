#pragma once
// The page's USB reading in WebAssembly: plain C functions over one byte buffer. One reading at
// a time. The page claims the camera's still-image interface with WebUSB, then:
//   1. copies the USB manufacturer and product strings (UTF-8, one after the other) into
//      tb_usb_buffer and calls tb_usb_start with the vendor id, the bulk-IN packet size and the
//      two lengths;
//   2. answers each request the module makes through its imports (below) once its promise
//      settles, never before the import returns: data from the camera goes into
//      tb_usb_buffer(length), then tb_usb_complete(status, length);
//   3. when tb_usb_done, takes tb_usb_result_json.
// The module imports, from "env": tb_usb_bulk_out(data, length, timeoutMs),
// tb_usb_bulk_in(length, timeoutMs), tb_usb_control_in(request, length, timeoutMs),
// tb_usb_control_out(request, data, length, timeoutMs), tb_usb_clear_halt(in, timeoutMs),
// tb_usb_sleep(ms) and tb_usb_now() (milliseconds). Each starts one WebUSB call (or a timer);
// a transfer still unsettled after timeoutMs is answered as timed out.

#ifdef __cplusplus
extern "C" {
#endif

// The status of a completed request.
enum { TB_USB_OK = 0, TB_USB_STALL = 1, TB_USB_BABBLE = 2, TB_USB_DISCONNECTED = 3, TB_USB_TIMED_OUT = 4 };

// Room for length bytes, valid until the next call; NULL when length is more than any answer.
unsigned char* tb_usb_buffer(unsigned length);
void tb_usb_start(unsigned vendorId, unsigned packetSize, unsigned manufacturerLength, unsigned productLength);
void tb_usb_complete(unsigned status, unsigned length);
int tb_usb_done(void);
// UTF-8 JSON: {"ok":…,"count":N,"make":…,"model":…,"firmware":…,"serial":…,"source":…,
// "message":…,"link":"#reading=…","log":[…]}; valid until the next tb_usb_start.
const char* tb_usb_result_json(void);

#ifdef __cplusplus
}
#endif
