#pragma once
// Registers the text-family import sources with the engine's source registry.
void vaccoraRegisterTextSources();
