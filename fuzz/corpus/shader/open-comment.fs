/* never closed #version 100
