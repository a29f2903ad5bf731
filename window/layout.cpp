#include "layout.h"

namespace {

constexpr double MinimumInnerSize = 500;
constexpr double Margin = 96;
constexpr double ListSideMargins = 192;
constexpr double LabelGap = 48;

}  // namespace

void ArrangeVoiceControls(const FormWindow& form, Label& lblVoices, ListBox& lstVoices,
                          CommandButton& cmdDelete) {
    if (form.WindowState() == 1) {
        return;
    }
    if (form.ScaleWidth() > MinimumInnerSize) {
        lblVoices.Left(Margin);
        lstVoices.Left(Margin);
        lstVoices.Width(double{form.ScaleWidth()} - ListSideMargins);
        cmdDelete.Left(double{form.ScaleWidth()} / 2 - double{cmdDelete.Width()} / 2);
    }
    if (!(form.ScaleHeight() > MinimumInnerSize)) {
        return;
    }
    lblVoices.Top(Margin);
    lstVoices.Top(double{lblVoices.Top()} + lblVoices.Height() + LabelGap);
    cmdDelete.Top(double{form.ScaleHeight()} - cmdDelete.Height() - Margin);
    // Comes out negative in a very short window: the list then keeps its height.
    lstVoices.Height(double{cmdDelete.Top()} - lstVoices.Top() - Margin);
}
