#pragma once

// Diagnostic aids: each shows its values as a notice (a modal box in a window)
// titled with the function's own name. Nothing in the update paths calls them.
void Show_UINT8Data(unsigned char* data, int count);
void Show_IntData(int value);
void Show_IntDataS(int* data, int count);
void Show_UINT16Data(unsigned short value);
void Show_UINT16DataS(unsigned short* data, int count);
void Show_UINT32Data(unsigned int value);
void Show_UINT32DataS(unsigned int* data, int count);
