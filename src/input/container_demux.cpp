#include "input/container_demux.h"

#include "input/system_demux.h"
#include "input/transport_demux.h"

namespace tavik {

std::unique_ptr<ContainerDemux> make_demux(Container container, Messages* warnings) {
  switch (container) {
    case Container::kElementary:
      return nullptr;
    case Container::kSystem:
    case Container::kProgram:
      return std::make_unique<SystemDemux>(container, warnings);
    case Container::kTransport:
    case Container::kTransport192:
      return std::make_unique<TransportDemux>(container, warnings);
  }
  return nullptr;
}

}  // namespace tavik
