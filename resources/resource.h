#pragma once

#define IDI_QUILLFEN 1
