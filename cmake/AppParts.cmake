# The parts of app/, by file name without extension. Files in neither list are the settings
# model, start-up and paths.
# The jobs: they run engines and sources for the model.
set(TAVRISK_APP_JOB_FILES TranscodeJob GraphJob RunningJob PriorityControl WindowJobHost KeptOutputs)
# The tables of the output engines and native inputs: the model reads them, the jobs make
# engines and sources with them.
set(TAVRISK_APP_TABLE_FILES OutputEngines InputKinds)
