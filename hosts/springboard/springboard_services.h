// The platform services that the springboard host provides to tweaks.
#pragma once

namespace hosts {

// Registers the class "Couria" and installs the alert presenter, which prints
// each alert and writes it to the log.
void registerSpringboardServices();

}  // namespace hosts
