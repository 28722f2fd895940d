EntryPoint = "x"
