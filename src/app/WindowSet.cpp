// window set: filled in by the start-up work
