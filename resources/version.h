// The program's version, shared by the version resource and anything that reports it.
#pragma once

#define QUILLFEN_VERSION_NUMBER 1, 0, 0, 1
#define QUILLFEN_VERSION_TEXT "1.00.0001"
#define QUILLFEN_PRODUCT_NAME "SAPI5Quillfen"
#define QUILLFEN_DESCRIPTION "SAPI 5 Quillfen"
