#include "sim/make_virtual_instrument.h"

#include "sim/scene.h"
#include "sim/virtual_instrument.h"

namespace tavlin::sim {

std::unique_ptr<VirtualInstrument> MakeVirtualInstrument(Clock& clock, const std::string& scenePath,
                                                         std::string& error) {
    Scene scene = DefaultScene();
    if (!scenePath.empty()) {
        SceneLoadResult loaded = LoadSceneFile(scenePath);
        if (!loaded.scene) {
            error = loaded.error;
            return nullptr;
        }
        scene = *loaded.scene;
    }
    return std::make_unique<VirtualInstrument>(clock, scene);
}

}  // namespace tavlin::sim
