// The exported finder interface is built on the classes of rilo_finder_core.
