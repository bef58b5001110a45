# The explorer's plain C++ model: view arithmetic, line and series sampling,
# rendering into a picture buffer, zoom rectangle arithmetic.
find_package(Threads REQUIRED)
sorvelin_library(sorvelin_explorer_model
    SOURCES ClipboardText.cpp ComposeSpeed.cpp ExplorerModel.cpp ParallelFor.cpp Picture.cpp
            RectArithmetic.cpp
            Renderer.cpp
            Sampling.cpp SeriesTable.cpp
    DEPS sorvelin_fractal sorvelin_platform Threads::Threads)
