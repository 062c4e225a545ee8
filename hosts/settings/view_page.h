// The page of any controller that is not a list: its view's web views and
// labels, each at its frame, kept in step with the view as subviews come and go.
#pragma once

#include <memory>

#include "hosts/settings/page_widget.h"
#include "platform/preferences/view_controller.h"

namespace hosts::settings {

// describe() adds "labelShown": whether a label is among the view's subviews.
std::unique_ptr<PageWidget> makeViewPage(
    const std::shared_ptr<platform::preferences::UIViewController>& controller);

}  // namespace hosts::settings
