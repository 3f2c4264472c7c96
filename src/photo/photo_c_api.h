#pragma once
// The photo reader for the result site's WebAssembly module: plain C functions over byte buffers.
// The page opens a reader with the file's size, then loops: while !tb_photo_done, read the range
// [wanted_offset, wanted_offset + wanted_length) of the File, copy it into tb_photo_buffer and call
// tb_photo_supply with the number of bytes read (fewer when the file ended). Then it takes the
// JSON (photoReadingJson without "file") and closes the reader.

#ifdef __cplusplus
extern "C" {
#endif

typedef struct TbPhoto TbPhoto;

// Sizes are doubles because they come from JavaScript numbers (exact below 2^53). NULL only when
// memory is exhausted.
TbPhoto* tb_photo_open(double fileSize);
// 1 when the answer is ready (always 1 for a NULL reader).
int tb_photo_done(const TbPhoto* p);
double tb_photo_wanted_offset(const TbPhoto* p);
unsigned tb_photo_wanted_length(const TbPhoto* p);
// Room for `length` bytes, owned by p and valid until the next call on p; NULL when `length` is
// more than the reader ever asks for.
unsigned char* tb_photo_buffer(TbPhoto* p, unsigned length);
// The first `length` bytes of the buffer are the wanted range (fewer: the file ended there).
void tb_photo_supply(TbPhoto* p, unsigned length);
// UTF-8 JSON, valid until tb_photo_close.
const char* tb_photo_result_json(TbPhoto* p);
double tb_photo_bytes_supplied(const TbPhoto* p);
void tb_photo_close(TbPhoto* p);

// The maker's rating for a model, for a reading that did not come from a photo (the link of a
// USB reading): write the model's UTF-8 bytes into tb_rating_model(length) (NULL beyond 1024
// bytes), then tb_rating_json(length, mechanical) gives a JSON array of the sentences shown
// beside the count (ratingSentences); mechanical is the mechanical count, or -1 when the count
// may include electronic releases. Valid until the next call.
char* tb_rating_model(unsigned length);
const char* tb_rating_json(unsigned length, double mechanical);

#ifdef __cplusplus
}
#endif
