// The resize layout, in twips: label top-left, list filling the width between label and button,
// button centred at the bottom. Each step reads what it needs then, so it sees the steps before it.
#pragma once

#include "controls.h"

void ArrangeVoiceControls(const FormWindow& form, Label& lblVoices, ListBox& lstVoices,
                          CommandButton& cmdDelete);
