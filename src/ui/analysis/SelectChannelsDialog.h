#pragma once
// The select-channels dialog: which parameters a command works on.
#include <optional>

#include "ui/common/ChannelCheckDialog.h"

namespace orvala {

class SelectChannelsDialog : public ChannelCheckDialog {
    Q_OBJECT
public:
    SelectChannelsDialog(TData* data, IniFile* settings, QWidget* parent = nullptr);

    // After OK: the checked rows when fewer than all are checked (empty when
    // none is), nothing when every row is checked (the command takes all).
    const std::optional<std::vector<int>>& Result() const { return result_; }

    void accept() override;

private:
    std::optional<std::vector<int>> result_;
};

}  // namespace orvala
