#pragma once
// The delete-channels dialog: the checked parameters are dropped from a new
// derived data set that keeps the others.
#include "ui/common/ChannelCheckDialog.h"

namespace orvala {

class DeleteChannelsDialog : public ChannelCheckDialog {
    Q_OBJECT
public:
    DeleteChannelsDialog(TData* data, IniFile* settings, QWidget* parent = nullptr);

    // After OK with at least one and fewer than all rows checked: the unchecked
    // (kept) column indices, ascending. Empty otherwise.
    const std::vector<int>& KeptChannels() const { return kept_; }

    void accept() override;

private:
    std::vector<int> kept_;
};

}  // namespace orvala
