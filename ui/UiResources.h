#pragma once

// The interface's resources (pages, controls, icon font, icons, style) live in
// the static library kx4ui. A static library's resources are only registered
// when someone asks for them: the program and the interface tests call this
// once before they load "qrc:/main.qml".
void initUiResources();
