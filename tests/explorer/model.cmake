sorvelin_test(explorer_model_tests MODEL
    SOURCES ClipboardTextTest.cpp RectArithmeticTest.cpp SamplingTest.cpp SeriesTableTest.cpp
            ViewTest.cpp
    DEPS sorvelin_explorer_model)

# The renderer runs "Draw Now!" on several threads: also under ThreadSanitizer.
sorvelin_test(explorer_render_tests MODEL TSAN
    SOURCES RendererTest.cpp
    DEPS sorvelin_explorer_model)

# Compose's sampling on several threads and its worker: also under
# ThreadSanitizer.
sorvelin_test(explorer_work_tests MODEL TSAN
    SOURCES ParallelSamplingTest.cpp
    DEPS sorvelin_explorer_model)
