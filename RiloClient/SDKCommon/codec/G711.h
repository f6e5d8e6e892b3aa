#ifndef RILO_G711_H
#define RILO_G711_H

// G.711 A-law and u-law on 16-bit linear samples. Internal to the library
// (hidden like everything but the Rilo functions), with C names.

#ifdef __cplusplus
extern "C" {
#endif

// The segment of a magnitude: 0 below 256, else its bit length minus 8.
int val_seg(int magnitude);

// Samples outside the 16-bit range are taken as its nearest end.
unsigned char s16_to_alaw(int sample);
int alaw_to_s16(unsigned char code);
unsigned char s16_to_ulaw(int sample);
int ulaw_to_s16(unsigned char code);

// Encode len / 2 samples (len counts the bytes of the sample array) into as
// many codes.
void mulaw_enc(const short* samples, char* out, int len);
void alaw_enc(const short* samples, char* out, int len);
// Decode count codes into count samples.
void mulaw_dec(const unsigned char* codes, short* samples, int count);
void alaw_dec(const unsigned char* codes, short* samples, int count);

#ifdef __cplusplus
}
#endif

#endif
