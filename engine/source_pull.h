// The sources a machine waits for, walked in one place: the processing cycle pulls them (the
// one-thread stack and the workers alike) and the studio refuses a cable that would make a machine
// wait for itself through them, so what is rendered first and what is checked for cycles cannot
// drift apart.
//
// Threads: whoever holds the studio mutex (cables do not change under it): the driver thread and
// the workers during a buffer, the user-interface thread while editing cables.
#pragma once

#include "engine/connector.h"
#include "engine/machine_container.h"
#include "machine_interface/port.h"

#include <cstdint>

// A cable makes its destination wait for its source unless it runs from a send output into an
// ordinary input (the effect reads the send the mixer filled before its late phase).
inline bool CableWaits(const CPort* source, const CPort* destination) {
    return destination->IsSendReturn() || !source->IsSendReturn();
}

// Where a walk over one frame's sources stands: a connector index and a cable index in it.
struct SourceCursor {
    int32_t connector = 0;
    int32_t connection = 0;
};

// The next source the frame waits for in one phase, from the cursor on, leaving the cursor just
// after it; null when none is left. The early phase (late false) is the sources behind the
// ordinary inputs, rendered before Process; the late phase the sources behind the returns,
// rendered after Process and before ProcessLate. In connector order, once per cable (a source
// cabled twice comes twice).
inline CMachineContainer* NextSource(const CMachineContainer* frame, bool late, SourceCursor& cursor) {
    const int32_t connectorCount = frame->ConnectorCount();
    for (; cursor.connector < connectorCount; ++cursor.connector, cursor.connection = 0) {
        const CConnector* input = frame->Connector(cursor.connector);
        if (!input->m_port->IsInput() || input->m_port->IsSendReturn() != late) continue;
        const int32_t count = input->m_connections.Count();
        while (cursor.connection < count) {
            const CConnection* connection = input->m_connections[cursor.connection++];
            if (CableWaits(connection->m_source->m_port, input->m_port)) return connection->m_source->m_frame;
        }
    }
    return nullptr;
}
