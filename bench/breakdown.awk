# Prints where a scan's time went, from a line of scanbench's figures.
{
    printf "where the scan's time went (ms):\n"
    printf "  scan thread  %6d in all: item sends %d (%d folders), sort sends %d (%d sorts),\n", $10, $11, $20, $12, $21
    printf "               waiting for listings %d (%d waits), own listings %d (%d), other own work %d\n",
        $13, $22, $14, $23, $10 - $11 - $12 - $13 - $14
    printf "  helpers      %6d busy, %d listings\n", $15, $24
    printf "  UI thread    items %d, sorts %d, status texts %d (%d), paints %d (%d)\n", $16, $17, $18, $26, $19, $27
    printf "  floors       a walk with the scan's directory calls %d; its %d item sends alone %d\n", $8, $20, $9
}
